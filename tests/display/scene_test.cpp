#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <functional>
#include <string>
#include <utility>
#include <memory>
#include <random>
#include <vector>

#include <QImage>
#include <QTemporaryDir>

#include "display/scene.h"

using namespace slv;

namespace {

// A level with one stage, one sprite drawn from a strip of two 4x3 frames
// (frame 1 red, frame 2 green, each with a key-coloured first column) and
// one sector, on a 40x30 target.
struct SceneFixture {
    explicit SceneFixture(int bits = 32) : dev(bits) {
        target = dev.createSurface();
        target->setSize(40, 30);
        strip = dev.createSurface();
        strip->setSize(8, 3);
        key = dev.rgbToPixel(255, 0, 255);
        red = dev.rgbToPixel(255, 0, 0);
        green = dev.rgbToPixel(0, 255, 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 8; ++x) put(*strip, x, y, x % 4 == 0 ? key : x < 4 ? red : green);
        strip->setColorKey(key);
        L->stageCount = 1;
        L->stage(1).spriteCount = 1;
        L->stage(1).sectorCount = 1;
        SpriteRec& r = sprite();
        r.surface = strip->handle();
        r.x = 10, r.y = 12, r.w = 4, r.h = 3;
        r.frameCount = 2, r.frame = 2;
        SectorRec& s = L->sector(1, 1);
        s.x = 25, s.y = 5, s.w = 6, s.h = 4;
        view.stage = 1;
    }
    static void put(Surface& s, int x, int y, std::uint32_t v) {
        const PixelView p = s.pixelsForWrite();
        std::memcpy(p.pixels + std::size_t(y) * p.pitch + std::size_t(x) * p.bytesPerPixel, &v,
                    std::size_t(p.bytesPerPixel));
    }
    SpriteRec& sprite() { return L->sprite(1, 1); }
    // The device's pixel of a colour given as 0xBBGGRR.
    std::uint32_t pixelOf(std::uint32_t c) const {
        return dev.rgbToPixel(int(c & 255), int((c >> 8) & 255), int((c >> 16) & 255));
    }
    void draw() { drawScene(*target, *L, dev, view); }
    std::uint32_t at(int x, int y) const { return target->pixelAt(x, y); }

    PixelDevice dev;
    std::unique_ptr<Level> L = std::make_unique<Level>();
    Surface* target;
    Surface* strip;
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
        f.view.selectedSprites = {1};
        f.view.selectedSectors = {1};
        f.draw();
        const std::uint32_t mark = f.pixelOf(f.view.markColor(*f.target));
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
        const std::uint32_t box = f.dev.rgbToPixel(10, 100, 70);
        EXPECT_EQ(f.at(10, 12), outlines ? box : 0u);
        // No selection: no mark.
        f.view.selectedSprites.clear();
        f.view.selectedSectors.clear();
        f.draw();
        EXPECT_EQ(f.at(9, 11), 0u);
        EXPECT_EQ(f.at(24, 4), 0u);
    }
}

// Sector names: with the outlines on, a sector's name changes pixels inside
// its box (any corner order, partly off the target), never outside the inside
// of its outline; the frame drawn by parts after a frame without names is the
// frame drawn whole.
struct NamedSector {
    int x, y, w, h;
    const char* name;
};

class SectorNames : public ::testing::TestWithParam<NamedSector> {};

TEST_P(SectorNames, AreDrawnInsideTheirBoxesOnly) {
    const NamedSector c = GetParam();
    for (int bits : {32, 16}) {
        SceneFixture f(bits);
        f.target->setSize(120, 60);
        Surface* backdrop = f.dev.createSurface();
        backdrop->setSize(120, 60);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) SceneFixture::put(*backdrop, x, y, std::uint32_t(x * 5 + y * 9 + 3));
        f.L->stage(1).spriteCount = 0;
        SectorRec& r = f.L->sector(1, 1);
        r.x = c.x, r.y = c.y, r.w = c.w, r.h = c.h;
        r.name.set(c.name);
        f.view.backdrop = backdrop;
        f.view.sectorOutlines = true;
        f.view.sectorNames = false;
        SceneCache cache;
        Surface* mended = f.dev.createSurface();
        mended->setSize(120, 60);
        drawScene(*mended, *f.L, f.dev, f.view, &cache);
        f.draw();
        std::vector<std::uint32_t> without;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) without.push_back(f.at(x, y));
        f.view.sectorNames = true;
        f.draw();
        drawScene(*mended, *f.L, f.dev, f.view, &cache);
        const int left = std::min(c.x, c.x + c.w), right = std::max(c.x, c.x + c.w);
        const int top = std::min(c.y, c.y + c.h), bottom = std::max(c.y, c.y + c.h);
        int changedInside = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) {
                ASSERT_EQ(mended->pixelAt(x, y), f.at(x, y)) << bits << " bits at " << x << "," << y;
                if (f.at(x, y) == without[std::size_t(y) * 120 + x]) continue;
                const bool inside = x > left && x < right - 1 && y > top && y < bottom - 1;
                ASSERT_TRUE(inside) << bits << " bits: " << x << "," << y << " changed";
                ++changedInside;
            }
        EXPECT_GT(changedInside, 10) << bits << " bits";
        // The outlines off: no name either.
        f.view.sectorOutlines = false;
        f.draw();
        for (int x = std::max(left + 1, 0); x < right - 1 && x < 120; ++x) {
            if (top + 5 >= 0 && top + 5 < 60) {
                ASSERT_EQ(f.at(x, top + 5), backdrop->pixelAt(x, top + 5));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boxes, SectorNames,
                         ::testing::Values(NamedSector{10, 8, 90, 40, "Entrance hall"},  // room to spare
                                           NamedSector{10, 8, 22, 12, "Entrance hall"},  // cut at the box
                                           NamedSector{100, 50, -80, -40, "Wg|"},        // corners reversed
                                           NamedSector{-6, -4, 40, 30, "Wg|"},           // partly off the view
                                           NamedSector{90, 30, 60, 50, "Entrance hall"}));  // cut at the view

// Sector and sprite boxes are dashed in their colour, the gaps in black or
// white against it: along a box's top edge, every pixel is one of the two,
// and both are there.
TEST(Scene, BoxOutlinesAreTwoToneDashes) {
    struct Case {
        std::uint32_t color, contrast;
    };
    const Case cases[] = {{kDefaultSectorColor, 0xFFFFFF},
                          {kDefaultSpriteBoxColor, 0xFFFFFF},
                          {0x00FFFF, 0x000000},  // yellow
                          {0xFFFFFF, 0x000000},
                          {0x000000, 0xFFFFFF}};
    for (int bits : {32, 16})
        for (const Case& c : cases)
            for (bool sector : {true, false}) {
                SceneFixture f(bits);
                f.target->setSize(120, 60);
                SectorRec& s = f.L->sector(1, 1);
                s.x = 2, s.y = 40, s.w = 110, s.h = 10;
                SpriteRec& r = f.sprite();
                r.surface = 0;  // no picture: only its box
                r.x = 2, r.y = 3, r.w = 110, r.h = 10;
                f.view.sectorOutlines = sector;
                f.view.spriteOutlines = !sector;
                (sector ? f.view.sectorColor : f.view.spriteBoxColor) = c.color;
                f.draw();
                const int row = sector ? 40 : 3;
                int dashes = 0, gaps = 0;
                for (int x = 2; x < 112; ++x) {
                    const std::uint32_t p = f.at(x, row);
                    dashes += p == f.pixelOf(c.color);
                    gaps += p == f.pixelOf(c.contrast);
                    ASSERT_TRUE(p == f.pixelOf(c.color) || p == f.pixelOf(c.contrast)) << bits << " bits, x " << x;
                }
                EXPECT_GT(dashes, 60) << bits << " bits, " << std::hex << c.color;
                EXPECT_GT(gaps, 15) << bits << " bits, " << std::hex << c.color;
                EXPECT_EQ(f.at(50, row + 5), 0u);  // inside: nothing
            }
}

// Every selected item is marked; numbers past the stage's counts mark nothing.
TEST(Scene, EverySelectedItemIsMarked) {
    struct Case {
        std::set<int> sprites, sectors;
        bool first, second, sector1, sector2;
    } cases[] = {
        {{1, 2}, {}, true, true, false, false},
        {{2}, {1, 2}, false, true, true, true},
        {{2, 3}, {2, 9}, false, true, false, true},
        {{0, 7}, {0}, false, false, false, false},
    };
    for (const Case& c : cases) {
        SceneFixture f;
        f.L->stage(1).spriteCount = 2;
        f.L->sprite(2, 1) = f.sprite();
        f.L->sprite(2, 1).x = 20;  // 20..23 x 12..14
        f.L->stage(1).sectorCount = 2;
        f.L->sector(2, 1) = f.L->sector(1, 1);
        f.L->sector(2, 1).y = 20;  // 25..30 x 20..23
        f.view.selectedSprites = c.sprites;
        f.view.selectedSectors = c.sectors;
        f.draw();
        const std::uint32_t mark = f.pixelOf(f.view.markColor(*f.target));
        EXPECT_EQ(f.at(9, 11) == mark, c.first);
        EXPECT_EQ(f.at(19, 11) == mark, c.second);
        EXPECT_EQ(f.at(24, 4) == mark, c.sector1);
        EXPECT_EQ(f.at(24, 19) == mark, c.sector2);
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
            const std::uint32_t m = f.pixelOf(f.view.markColor(*f.target));
            EXPECT_NE(m, f.pixelOf(p[0])) << bits;
            EXPECT_NE(m, f.pixelOf(p[1])) << bits;
            EXPECT_NE(m, f.pixelOf(0xFFFFFF)) << bits;
        }
}

// The overlay cache changes how a frame is drawn, never what it shows: over
// ticks in which the sprites animate and, now and then, a box moves, the
// outlines are switched, the colours or the selection change or a band is
// dragged, frames drawn with and without the cache are byte for byte equal,
// also when some frames go to a target of another size (a display switch).
TEST(Scene, FramesWithTheOverlayCacheEqualFramesWithout) {
    for (int bits : {32, 16}) {
        SceneFixture f(bits);
        Surface* plain = f.dev.createSurface();
        plain->setSize(40, 30);
        Surface* narrow = f.dev.createSurface();
        Surface* narrowPlain = f.dev.createSurface();
        narrow->setSize(33, 30);
        narrowPlain->setSize(33, 30);
        Surface* backdrop = f.dev.createSurface();
        backdrop->setSize(37, 30);  // leaves a black column on the right
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 37; ++x) SceneFixture::put(*backdrop, x, y, std::uint32_t(x * 3 + y * 5 + 1));
        std::mt19937 rng{unsigned(bits)};
        auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Level& L = *f.L;
        L.stage(1).spriteCount = 12;
        L.stage(1).sectorCount = 8;
        for (int n = 1; n <= 12; ++n) L.sprite(n, 1) = f.sprite();
        SceneView& v = f.view;
        v.backdrop = backdrop;
        v.sectorOutlines = v.spriteOutlines = true;
        v.numbers = {QStringLiteral("60"), QStringLiteral("1"), QStringLiteral("-1")};
        SceneCache cache;
        for (int tick = 0; tick < 400; ++tick) {
            if (tick % 9 == 0) {
                switch (pick(0, 5)) {
                case 0: {
                    SpriteRec& r = L.sprite(pick(1, 12), 1);
                    r.x = pick(-10, 45), r.y = pick(-10, 35);
                    break;
                }
                case 1: {
                    SectorRec& r = L.sector(pick(1, 8), 1);
                    r.x = pick(-10, 45), r.y = pick(-10, 35), r.w = pick(-3, 30), r.h = pick(-3, 30);
                    break;
                }
                case 2: v.sectorOutlines = !v.sectorOutlines; break;
                case 3: v.spriteBoxColor = pick(0, 1) ? 0u : std::uint32_t(pick(0, 0xFFFFFF)); break;  // black too
                case 4: v.selectedSprites = {pick(0, 13), pick(0, 13)}; v.selectedSectors = {pick(0, 9)}; break;
                default:
                    v.band = !v.band;
                    v.bandX1 = pick(-5, 45);
                    v.bandY1 = pick(-5, 35);
                    break;
                }
            }
            if (v.band) {
                v.bandX2 = pick(-5, 45);
                v.bandY2 = pick(-5, 35);
            }
            const bool switched = tick % 50 >= 40;
            drawScene(switched ? *narrow : *f.target, L, f.dev, v, &cache);
            drawScene(switched ? *narrowPlain : *plain, L, f.dev, v);
            const PixelView a = (switched ? narrow : f.target)->pixels(), b = (switched ? narrowPlain : plain)->pixels();
            ASSERT_EQ(std::memcmp(a.pixels, b.pixels, std::size_t(a.pitch) * 30), 0) << bits << " bits, tick " << tick;
            for (int n = 1; n <= 12; ++n) L.sprite(n, 1).frame = L.sprite(n, 1).frame % 2 + 1;
        }
    }
}

// A frame drawn with the cache on a target that holds the last one is drawn
// only where it differs. Each tick makes one change (or none) and checks:
// the frame equals one drawn whole, every pixel that changed lies in the
// rectangle drawScene returns, and an unchanged frame returns nothing.
TEST(Scene, MendedFramesEqualWholeFramesAndReportWhatChanged) {
    for (int bits : {32, 16}) {
        SceneFixture f(bits);
        constexpr int W = 160, H = 120;
        Surface* mended = f.dev.createSurface();
        Surface* whole = f.dev.createSurface();
        mended->setSize(W, H);
        whole->setSize(W, H);
        Surface* wide = f.dev.createSurface();    // covers the target
        Surface* narrow = f.dev.createSurface();  // leaves a black column
        wide->setSize(W, H);
        narrow->setSize(W - 9, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                SceneFixture::put(*wide, x, y, std::uint32_t(x * 7 + y * 3 + 2));
                if (x < W - 9) SceneFixture::put(*narrow, x, y, std::uint32_t(x * 3 + y * 5 + 1));
            }
        std::mt19937 rng{unsigned(bits) + 7};
        auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        Level& L = *f.L;
        L.stage(1).spriteCount = 12;
        L.stage(1).sectorCount = 6;
        for (int n = 1; n <= 12; ++n) {
            L.sprite(n, 1) = f.sprite();
            L.sprite(n, 1).x = pick(-5, W), L.sprite(n, 1).y = pick(-5, H);
        }
        for (int n = 1; n <= 6; ++n) {
            SectorRec& r = L.sector(n, 1);
            r.x = pick(0, W), r.y = pick(0, H), r.w = pick(2, 60), r.h = pick(2, 40);
            r.name.set(n % 2 ? "Door" : "");
        }
        SkinRec skin{};
        skin.surface = f.strip->handle(), skin.w = 4, skin.h = 3, skin.frame = 1;
        SceneView& v = f.view;
        v.backdrop = wide;
        v.sectorOutlines = v.spriteOutlines = true;
        v.numbers = {QStringLiteral("60"), QStringLiteral("1")};
        SceneCache cache;
        std::vector<std::uint8_t> before;
        int mendedTicks = 0;
        for (int tick = 0; tick < 600; ++tick) {
            const int change = pick(0, 13);
            switch (change) {
            case 0: break;  // nothing
            case 1: L.sprite(pick(1, 12), 1).x = pick(-5, W); break;
            case 2: L.sprite(pick(1, 12), 1).frame = pick(0, 3); break;  // 0 and 3 lie off the strip
            case 3:
                if (pick(0, 1)) {
                    L.sector(pick(1, 6), 1).y = pick(-5, H);
                } else {
                    L.sector(pick(1, 6), 1).name.set(pick(0, 1) ? "Wg" : "Hall of mirrors");
                }
                break;
            case 4: v.spriteOutlines = !v.spriteOutlines; break;
            case 5: v.selectedSprites = {pick(0, 13)}, v.selectedSectors = {pick(0, 7), pick(0, 7)}; break;
            case 6: v.band = !v.band, v.bandX1 = pick(0, W), v.bandY1 = pick(0, H); break;
            case 7:
                if (!v.numbers.empty()) v.numbers[std::size_t(pick(0, int(v.numbers.size()) - 1))] = QString::number(pick(0, 120));
                break;
            case 8: v.numbers.resize(std::size_t(pick(0, 3)), QStringLiteral("7")); break;
            case 9: v.actor = v.actor ? nullptr : &skin, v.actorX = pick(0, W), v.actorY = pick(0, H); break;
            case 10: L.stage(1).spriteCount = pick(8, 12); break;
            case 11: v.backdrop = v.backdrop == wide ? narrow : wide; break;
            case 12: SceneFixture::put(*f.strip, pick(1, 7), pick(0, 2), std::uint32_t(pick(0, 0xFFFF))); break;
            default: mended->fillRect(rectAt(pick(0, W), pick(0, H), 9, 9), 0x1234); break;  // drawn on by another
            }
            if (v.band) v.bandX2 = pick(0, W), v.bandY2 = pick(0, H);
            const std::vector<PixelRect> drawn = drawScene(*mended, L, f.dev, v, &cache);
            drawScene(*whole, L, f.dev, v);
            const PixelView a = mended->pixels(), b = whole->pixels();
            const std::size_t bytes = std::size_t(a.pitch) * H;
            ASSERT_EQ(std::memcmp(a.pixels, b.pixels, bytes), 0) << bits << " bits, tick " << tick;
            if (change == 0 && !v.band && tick > 0) {
                EXPECT_TRUE(drawn.empty()) << tick;
            }
            if (!drawn.empty() && drawn[0] != mended->rect()) ++mendedTicks;
            // Each pixel lies in at most one part, and every changed pixel in one.
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    int parts = 0;
                    for (const PixelRect& r : drawn) parts += x >= r.left && x < r.right && y >= r.top && y < r.bottom;
                    ASSERT_LE(parts, 1) << bits << " bits, tick " << tick;
                    const std::size_t at = std::size_t(y) * a.pitch + std::size_t(x) * a.bytesPerPixel;
                    if (before.empty() || std::memcmp(before.data() + at, a.pixels + at, std::size_t(a.bytesPerPixel)) == 0)
                        continue;
                    ASSERT_EQ(parts, 1) << bits << " bits, tick " << tick << ": (" << x << ", " << y << ") changed outside";
                }
            before.assign(a.pixels, a.pixels + bytes);
        }
        EXPECT_GT(mendedTicks, 200) << bits;  // most ticks mend a part of the frame
    }
}

TEST(Scene, LevelSurfacesLoadEveryUsedImageKeyedAndReleaseThemAtTheEnd) {
    QTemporaryDir dir;
    QImage strip(8, 3, QImage::Format_RGB32);
    strip.fill(qRgb(255, 0, 255));
    strip.setPixel(5, 1, qRgb(0, 255, 0));
    const QString good = dir.filePath("good.bmp");
    ASSERT_TRUE(strip.save(good, "BMP"));
    const std::string gone = dir.filePath("gone.bmp").toStdString();
    auto L = std::make_unique<Level>();
    L->imageCount = 3;
    L->image(1).name.set("good.bmp");
    L->image(1).path.set(good.toStdString());
    L->image(3).name.set("gone.bmp");  // slot 2 free
    L->image(3).path.set(gone);
    L->stage(2).spriteCount = 2;
    L->sprite(1, 2).image = 1;
    L->sprite(2, 2).image = 3;
    PixelDevice dev(32);
    const std::uint32_t key = dev.rgbToPixel(255, 0, 255);
    {
        LevelSurfaces pictures(*L, dev, key);
        ASSERT_EQ(pictures.errors().size(), 1u);
        EXPECT_NE(pictures.errors()[0].find(gone), std::string::npos);
        Surface* s = dev.resolve(L->sprite(1, 2).surface);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->colorKey(), key);
        EXPECT_EQ(s->pixelAt(5, 1), dev.rgbToPixel(0, 255, 0));
        EXPECT_EQ(L->sprite(2, 2).surface, 0u);
        EXPECT_EQ(dev.surfaceCount(), 1u);
    }
    EXPECT_EQ(dev.surfaceCount(), 0u);
    EXPECT_EQ(L->sprite(1, 2).surface, 0u);
    EXPECT_EQ(L->image(1).surface, 0u);
}

// The animation's frames: each sprite starts from its record's frame and
// steps to the next, the first again after the last or from a frame out of
// range. Sprites past the stage's count, other stages and a stage out of range
// show their records' frames.
TEST(SpriteAnimationSteps, WrapFromTheStoredFrame) {
    struct Case {
        int frame, frameCount, expected;
    } cases[] = {{1, 4, 2}, {3, 4, 4}, {4, 4, 1}, {0, 4, 1}, {-7, 4, 1}, {9, 4, 1}, {1, 1, 1}, {1, 0, 1}};
    Level L;
    L.stageCount = 2;
    L.stage(2).spriteCount = int(std::size(cases));
    for (int n = 1; n <= int(std::size(cases)); ++n) {
        L.sprite(n, 2).frame = cases[n - 1].frame;
        L.sprite(n, 2).frameCount = cases[n - 1].frameCount;
    }
    const std::string records(reinterpret_cast<const char*>(L.spriteTable), sizeof L.spriteTable);
    SpriteAnimation a;
    a.restart(L, 2);
    for (int n = 1; n <= int(std::size(cases)); ++n) EXPECT_EQ(a.frame(2, n, -5), cases[n - 1].frame) << n;
    a.advance();
    for (int n = 1; n <= int(std::size(cases)); ++n) EXPECT_EQ(a.frame(2, n, -5), cases[n - 1].expected) << n;
    EXPECT_EQ(a.frame(2, int(std::size(cases)) + 1, 7), 7);
    EXPECT_EQ(a.frame(1, 1, 7), 7);
    for (int stage : {0, 31, -1}) {
        SpriteAnimation none;
        none.restart(L, stage);
        none.advance();
        EXPECT_EQ((std::pair{none.stage(), none.frame(stage, 1, 7)}), (std::pair{0, 7})) << stage;
    }
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(L.spriteTable), sizeof L.spriteTable), records);
}

// follow() keeps the animation in step with the stage: a sprite that moved
// goes on where it was; one that is new at its place, shows another picture,
// has another frame count or another stored frame starts again from that
// frame; another stage starts every sprite again.
TEST(SpriteAnimationSteps, FollowTheStageSprites) {
    struct Case {
        const char* what;
        std::function<void(Level&)> edit;
        int stage;                  // animated after the edit
        std::vector<int> expected;  // frames of sprites 1.. after follow()
    };
    // Three sprites of 4 frames stored at frames 1, 2, 3, shown one step on: 2, 3, 4.
    const Case cases[] = {
        {"nothing", [](Level&) {}, 1, {2, 3, 4}},
        {"moved", [](Level& L) { L.sprite(2, 1).x += 50, L.sprite(2, 1).y = -3; }, 1, {2, 3, 4}},
        {"picture replaced", [](Level& L) { L.sprite(2, 1).image = 9, L.sprite(2, 1).frame = 1; }, 1, {2, 1, 4}},
        {"same picture, frame 1 again", [](Level& L) { L.sprite(3, 1).frame = 1; }, 1, {2, 3, 1}},
        {"frame count changed", [](Level& L) { L.sprite(1, 1).frameCount = 6; }, 1, {1, 3, 4}},
        {"one added", [](Level& L) { L.sprite(4, 1) = L.sprite(1, 1), L.sprite(4, 1).frame = 3, L.stage(1).spriteCount = 4; },
         1, {2, 3, 4, 3}},
        {"first deleted", [](Level& L) { L.sprite(1, 1) = L.sprite(2, 1), L.sprite(2, 1) = L.sprite(3, 1), L.stage(1).spriteCount = 2; },
         1, {2, 3}},
        {"all deleted", [](Level& L) { L.stage(1).spriteCount = 0; }, 1, {}},
        {"another stage", [](Level&) {}, 2, {4, 3, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Level L;
        L.stageCount = 2;
        for (int s = 1; s <= 2; ++s) {
            L.stage(s).spriteCount = 3;
            for (int n = 1; n <= 3; ++n) {
                SpriteRec& r = L.sprite(n, s);
                r.image = n, r.frameCount = 4, r.frame = s == 1 ? n : 5 - n;
            }
        }
        SpriteAnimation a;
        a.follow(L, 1);
        a.advance();
        c.edit(L);
        a.follow(L, c.stage);
        std::vector<int> shown;
        for (int n = 1; n <= L.stage(c.stage).spriteCount; ++n) shown.push_back(a.frame(c.stage, n, -1));
        EXPECT_EQ(shown, c.expected);
        EXPECT_EQ(a.stage(), c.stage);
    }
}

// The view draws the animation's frame and the record keeps its own; with a
// cache, a step redraws the sprite's tiles. The first frames win over both.
TEST(Scene, SpritesShowTheAnimationsFrameNotTheRecords) {
    SceneFixture f;  // the record holds frame 2 (green)
    SceneCache cache;
    SpriteAnimation a;
    a.restart(*f.L, 1);
    f.view.animation = &a;
    auto draw = [&] { return drawScene(*f.target, *f.L, f.dev, f.view, &cache); };
    struct Step {
        bool advance, firstFrames;
        std::uint32_t SceneFixture::*colour;
        bool redrawn;
    };
    const Step steps[] = {
        {false, false, &SceneFixture::green, true},  // the first frame drawn: whole
        {true, false, &SceneFixture::red, true},
        {false, false, &SceneFixture::red, false},
        {true, false, &SceneFixture::green, true},
        {true, true, &SceneFixture::red, true},
    };
    for (const Step& s : steps) {
        if (s.advance) a.advance();
        f.view.firstFrames = s.firstFrames;
        const std::vector<PixelRect> drawn = draw();
        EXPECT_EQ(f.at(11, 12), f.*s.colour);
        EXPECT_EQ(!drawn.empty(), s.redrawn);
        EXPECT_EQ(f.sprite().frame, 2);
    }
}
