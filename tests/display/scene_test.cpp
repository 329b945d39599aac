#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "display/scene.h"

using namespace slv;

namespace {

// A level with one stage, one sprite drawn from a strip of two 4x3 frames
// (frame 1 red, frame 2 green, each with a key-coloured first column) and
// one sector, on a 40x30 target.
struct SceneFixture {
    explicit SceneFixture(int bits = 32) : dev(bits) {
        target = dev.CreateSurface();
        target->SetSize(40, 30);
        strip = dev.CreateSurface();
        strip->SetSize(8, 3);
        key = dev.rgbToPixel(255, 0, 255);
        red = dev.rgbToPixel(255, 0, 0);
        green = dev.rgbToPixel(0, 255, 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 8; ++x) put(*strip, x, y, x % 4 == 0 ? key : x < 4 ? red : green);
        strip->SetKeyColor(key);
        L->totstages = 1;
        L->stage(1).totsprites = 1;
        L->stage(1).totsectors = 1;
        SpriteRec& r = sprite();
        r.surface = strip->handle();
        r.x = 10;
        r.y = 12;
        r.w = 4;
        r.h = 3;
        r.totpos = 2;
        r.pos = 2;
        SectorRec& s = L->sector(1, 1);
        s.x = 25;
        s.y = 5;
        s.w = 6;
        s.h = 4;
        view.stage = 1;
    }
    static void put(TDirectDrawSurface& s, int x, int y, std::uint32_t v) {
        const PixelView p = s.PixelsForWrite();
        std::memcpy(p.pixels + std::size_t(y) * p.pitch + std::size_t(x) * p.bytesPerPixel, &v,
                    std::size_t(p.bytesPerPixel));
    }
    SpriteRec& sprite() { return L->sprite(1, 1); }
    void draw() { drawScene(*target, *L, dev, view); }
    std::uint32_t at(int x, int y) const { return target->ReadPixel(x, y); }

    TDirectDraw dev;
    std::unique_ptr<Level> L = std::make_unique<Level>();
    TDirectDrawSurface* target;
    TDirectDrawSurface* strip;
    std::uint32_t key, red, green;
    SceneView view;
};

}  // namespace

TEST(Scene, SpritesShowTheirCurrentFrameOrTheFirstWithTheirColourKey) {
    SceneFixture f;
    f.draw();
    EXPECT_EQ(f.at(11, 12), f.green);
    EXPECT_EQ(f.at(13, 14), f.green);
    EXPECT_EQ(f.at(10, 12), 0u);  // key column
    EXPECT_EQ(f.at(14, 12), 0u);  // one frame wide
    f.view.firstFrames = true;
    f.draw();
    EXPECT_EQ(f.at(11, 12), f.red);
    // Other stages' sprites and a stage out of range draw nothing.
    for (int stage : {0, 2, 31, -1}) {
        f.view.stage = stage;
        f.draw();
        EXPECT_EQ(f.at(11, 12), 0u) << stage;
    }
}

TEST(Scene, SelectedSpriteAndSectorAreMarkedOutsideTheirBoxesWithOrWithoutOutlines) {
    for (bool outlines : {false, true}) {
        SceneFixture f;
        f.view.sectorOutlines = f.view.spriteOutlines = outlines;
        f.view.selectedSprite = 1;
        f.view.selectedSector = 1;
        f.draw();
        const TDirectDraw& d = f.dev;
        const std::uint32_t c = f.view.markColor(*f.target);
        const std::uint32_t mark = d.rgbToPixel(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
        // Sprite box 10..13 x 12..14: the mark runs around it at 9..14 x 11..15.
        EXPECT_EQ(f.at(9, 11), mark);
        EXPECT_EQ(f.at(14, 15), mark);
        EXPECT_EQ(f.at(12, 11), mark);
        EXPECT_EQ(f.at(8, 11), 0u);
        EXPECT_EQ(f.at(15, 15), 0u);
        // Sector box 25..30 x 5..8: the mark at 24..31 x 4..9.
        EXPECT_EQ(f.at(24, 4), mark);
        EXPECT_EQ(f.at(31, 9), mark);
        EXPECT_EQ(f.at(28, 7), 0u);
        // The dashed outlines sit on the boxes themselves, in their colours.
        const std::uint32_t box = d.rgbToPixel(10, 100, 70);
        EXPECT_EQ(f.at(10, 12), outlines ? box : 0u);
        // No selection: no mark.
        f.view.selectedSprite = f.view.selectedSector = 0;
        f.draw();
        EXPECT_EQ(f.at(9, 11), 0u);
        EXPECT_EQ(f.at(24, 4), 0u);
    }
}

TEST(Scene, MarkColourDiffersFromBothOutlineColoursOnTheTarget) {
    const std::uint32_t yellow = 0x00FFFF, cyan = 0xFFFF00, orange = 0x0080FF;
    const std::uint32_t pairs[][2] = {{kDefaultSpriteBoxColor, kDefaultSectorColor},
                                      {yellow, cyan},
                                      {cyan, yellow},
                                      {yellow, orange},
                                      {0x07FFFF, 0xFFFF07}};  // the same as yellow and cyan at 16 bits
    for (int bits : {16, 32})
        for (const auto& p : pairs) {
            SceneFixture f(bits);
            f.view.spriteBoxColor = p[0];
            f.view.sectorColor = p[1];
            auto px = [&f](std::uint32_t c) {
                return f.dev.rgbToPixel(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
            };
            const std::uint32_t m = px(f.view.markColor(*f.target));
            EXPECT_NE(m, px(p[0])) << bits;
            EXPECT_NE(m, px(p[1])) << bits;
            EXPECT_NE(m, px(0xFFFFFF)) << bits;
        }
}
