// Copies, fills, rectangles and text at coordinates spread over the whole
// 32-bit range, on both pixel depths, each checked byte for byte against a
// plain per-pixel model computed in 64 bits. Built with AddressSanitizer and
// UndefinedBehaviorSanitizer: a write outside a surface's buffer, or an
// overflow in the clip arithmetic, ends the run; a write into the wrong
// pixel, or into the padding after a row, fails the comparison.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "display/canvas.h"
#include "display/scene.h"
#include "display/surface.h"

using namespace slv;

namespace {

using i64 = std::int64_t;

// The whole buffer of a surface, row padding included.
std::vector<std::uint8_t> bytesOf(const Surface& s) {
    const PixelView v = s.pixels();
    return {v.pixels, v.pixels + std::size_t(v.pitch) * std::size_t(v.height)};
}

struct Model {
    std::vector<std::uint8_t> bytes;
    int w, h, pitch, bpp;

    explicit Model(const Surface& s)
        : bytes(bytesOf(s)), w(s.width()), h(s.height()), pitch(s.pixels().pitch), bpp(s.bitsPerPixel() / 8) {}
    void put(i64 x, i64 y, std::uint32_t v) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        std::memcpy(&bytes[std::size_t(y) * pitch + std::size_t(x) * bpp], &v, std::size_t(bpp));
    }
    std::uint32_t at(i64 x, i64 y) const {
        std::uint32_t p = 0;
        std::memcpy(&p, &bytes[std::size_t(y) * pitch + std::size_t(x) * bpp], std::size_t(bpp));
        return p;
    }
};

// Sets every pixel of `s` to pixel(x, y).
template <class F>
void paint(Surface& s, F pixel) {
    const PixelView v = s.pixelsForWrite();
    for (int y = 0; y < v.height; ++y)
        for (int x = 0; x < v.width; ++x) {
            const std::uint32_t p = pixel(x, y);
            std::memcpy(v.pixels + std::size_t(y) * v.pitch + std::size_t(x) * v.bytesPerPixel, &p,
                        std::size_t(v.bytesPerPixel));
        }
}

// White text on a dark brush, solid or clear; with `clip`, only inside it.
void writeText(Surface& s, int x, int y, const QString& text, bool solid, const PixelRect* clip = nullptr) {
    SurfaceCanvas& c = s.canvas();
    c.setBrushStyle(solid ? BrushStyle::Solid : BrushStyle::Clear);
    c.setBrushColor(0x203040);
    c.setFontColor(0xFFFFFF);
    if (clip)
        c.drawTextWithin(x, y, text, *clip);
    else
        c.drawText(x, y, text);
    c.releaseCanvas();
}

class Random {
public:
    explicit Random(unsigned seed) : rng_(seed) {}
    int in(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    // A coordinate near the surface, near either end of the int range, or
    // anywhere in it.
    int coord(int size) {
        switch (in(0, 5)) {
        case 0: return in(-2 * size - 40, 2 * size + 40);
        case 1: return INT_MIN + in(0, 64);
        case 2: return INT_MAX - in(0, 64);
        case 3: return in(-size - 3, 3) + (in(0, 1) ? size : 0);
        default: return in(INT_MIN, INT_MAX);
        }
    }

private:
    std::mt19937 rng_;
};

// Outline pixel index along the clockwise path from the top-left corner, as
// the dashed pen counts it; -1 when (x, y) is not on the outline.
i64 outlineIndex(i64 x, i64 y, i64 x1, i64 y1, i64 x2, i64 y2) {
    const i64 w = x2 - x1, h = y2 - y1;
    if (x < x1 || x >= x2 || y < y1 || y >= y2) return -1;
    if (h == 1) return x - x1;
    if (w == 1) return y - y1;
    if (y == y1) return x - x1;
    if (x == x2 - 1) return w + (y - y1 - 1);
    if (y == y2 - 1) return w + h - 1 + (x2 - 2 - x);
    if (x == x1) return 2 * w + h - 2 + (y2 - 2 - y);
    return -1;
}

// A copy of S from `sm` to (x, y) on `expect`, pixel by pixel.
void modelCopy(Model& expect, const Model& sm, std::uint32_t key, bool keyed, i64 x, i64 y, const PixelRect64& S) {
    for (i64 py = 0; py < expect.h; ++py)
        for (i64 px = 0; px < expect.w; ++px) {
            const i64 sx = S.left + (px - x), sy = S.top + (py - y);
            if (sx < std::max<i64>(S.left, 0) || sx >= std::min<i64>(S.right, sm.w)) continue;
            if (sy < std::max<i64>(S.top, 0) || sy >= std::min<i64>(S.bottom, sm.h)) continue;
            const std::uint32_t p = sm.at(sx, sy);
            if (keyed && p == key) continue;
            expect.put(px, py, p);
        }
}

class ClipRandom : public ::testing::TestWithParam<int> {};

TEST_P(ClipRandom, EveryWriteLandsWhereThePixelModelSays) {
    const int bits = GetParam();
    PixelDevice dev(bits);
    Random r(unsigned(bits) * 7919u);
    const std::uint32_t mask = bits == 32 ? 0x00FFFFFFu : 0xFFFFu;

    // Sources: small pictures with a sprinkling of the key colour.
    std::vector<Surface*> sources;
    for (int k = 0; k < 4; ++k) {
        Surface* s = dev.createSurface();
        s->setSize(r.in(1, 45), r.in(1, 20));
        paint(*s, [&](int, int) { return r.in(0, 3) == 0 ? 5u : std::uint32_t(r.in(6, 1 << 20)) & mask; });
        s->setColorKey(5);
        sources.push_back(s);
    }

    // A text's footprint, taken once from a roomy scratch surface.
    constexpr int kScratchW = 400, kScratchH = 60, kOx = 100, kOy = 20;
    Surface* scratch = dev.createSurface();
    scratch->setSize(kScratchW, kScratchH);
    auto footprint = [&](const QString& text, bool solid) {
        scratch->fill(0);
        writeText(*scratch, kOx, kOy, text, solid);
        return Model(*scratch);
    };
    const QString texts[] = {QStringLiteral("-1"), QStringLiteral("2147483647"), QStringLiteral("Wg|")};

    for (int surfaceRound = 0; surfaceRound < 60; ++surfaceRound) {
        Surface* dst = dev.createSurface();
        dst->setSize(r.in(1, 37), r.in(1, 29));
        dst->fill(std::uint32_t(r.in(0, 1 << 20)) & mask);
        const int W = dst->width(), H = dst->height();
        for (int op = 0; op < 150; ++op) {
            Model expect(*dst);
            std::string what;
            const int kind = r.in(0, 9);
            if (kind <= 3) {  // a copy from a rectangle or a sprite frame
                Surface* src = sources[std::size_t(r.in(0, 3))];
                const bool keyed = r.in(0, 1) == 1;
                const i64 x = r.coord(W), y = r.coord(H);
                PixelRect64 S;
                if (kind <= 1) {
                    S = PixelRect{r.coord(src->width()), r.coord(src->height()), r.coord(src->width()),
                              r.coord(src->height())};
                } else {
                    const i64 pos = r.coord(4), w = r.coord(src->width()), h = r.coord(src->height());
                    S = PixelRect64{(pos - 1) * w, 0, pos * w, h};
                }
                modelCopy(expect, Model(*src), src->colorKey(), keyed, x, y, S);
                what = "copy to " + std::to_string(x) + "," + std::to_string(y) + " of " +
                       std::to_string(S.left) + "," + std::to_string(S.top) + "," + std::to_string(S.right) +
                       "," + std::to_string(S.bottom) + (keyed ? " keyed" : "");
                if (kind == 0)
                    dst->blit(int(x), int(y),
                                  PixelRect{int(S.left), int(S.top), int(S.right), int(S.bottom)}, src, keyed);
                else
                    dst->blit(x, y, S, src, keyed);
            } else if (kind == 4) {  // a fill of the whole surface
                const std::uint32_t v = std::uint32_t(r.in(0, 1 << 24)) & mask;
                for (std::size_t k = 0; k + expect.bpp <= expect.bytes.size(); k += std::size_t(expect.bpp))
                    std::memcpy(&expect.bytes[k], &v, std::size_t(expect.bpp));
                what = "fill";
                dst->fill(v);
            } else if (kind <= 7) {  // a rectangle, outlined and maybe filled
                const int x1 = r.coord(W), y1 = r.coord(H), x2 = r.coord(W), y2 = r.coord(H);
                const bool solid = r.in(0, 1) == 1, dashed = r.in(0, 1) == 1;
                const i64 l = std::min(x1, x2), t = std::min(y1, y2), rr = std::max(x1, x2),
                          b = std::max(y1, y2);
                const std::uint32_t pen = dev.rgbToPixel(255, 0, 0), brush = dev.rgbToPixel(0, 0, 255);
                for (i64 py = 0; py < H; ++py)
                    for (i64 px = 0; px < W; ++px) {
                        if (px < l || px >= rr || py < t || py >= b) continue;
                        if (solid) expect.put(px, py, brush);
                        const i64 i = outlineIndex(px, py, l, t, rr, b);
                        if (i >= 0 && (!dashed || i % (SurfaceCanvas::kDashOn +
                                                       SurfaceCanvas::kDashOff) <
                                                      SurfaceCanvas::kDashOn))
                            expect.put(px, py, pen);
                    }
                what = "rectangle " + std::to_string(x1) + "," + std::to_string(y1) + "," +
                       std::to_string(x2) + "," + std::to_string(y2) + (solid ? " filled" : "") +
                       (dashed ? " dashed" : "");
                SurfaceCanvas& c = dst->canvas();
                c.setBrushStyle(solid ? BrushStyle::Solid : BrushStyle::Clear);
                c.setBrushColor(0xFF0000);
                c.setPenStyle(dashed ? PenStyle::Dash : PenStyle::Solid);
                c.setPenColor(0x0000FF);
                c.rectangle(x1, y1, x2, y2);
                c.releaseCanvas();
            } else {  // a text
                const QString& text = texts[r.in(0, 2)];
                const bool solid = r.in(0, 1) == 1;
                const Model fp = footprint(text, solid);
                const i64 x = r.coord(W), y = r.coord(H);
                // Half of the texts are clipped to a rectangle of any corners.
                const bool clipped = r.in(0, 1) == 1;
                const PixelRect clip{r.coord(W), r.coord(H), r.coord(W), r.coord(H)};
                for (i64 py = 0; py < H; ++py)
                    for (i64 px = 0; px < W; ++px) {
                        const i64 sx = px - x + kOx, sy = py - y + kOy;
                        if (sx < 0 || sy < 0 || sx >= fp.w || sy >= fp.h) continue;
                        if (clipped && (px < clip.left || px >= clip.right || py < clip.top || py >= clip.bottom))
                            continue;
                        if (fp.at(sx, sy) != 0) expect.put(px, py, fp.at(sx, sy));
                    }
                what = "text " + text.toStdString() + " at " + std::to_string(x) + "," + std::to_string(y);
                if (clipped)
                    what += " within " + std::to_string(clip.left) + "," + std::to_string(clip.top) + "," +
                            std::to_string(clip.right) + "," + std::to_string(clip.bottom);
                writeText(*dst, int(x), int(y), text, solid, clipped ? &clip : nullptr);
            }
            ASSERT_EQ(bytesOf(*dst), expect.bytes) << what << " on " << W << "x" << H;
        }
        dev.freeSurface(dst->handle());
    }
}

// Sprite records with any values, as a package or a typed field may hold
// them, drawn as the view draws a stage: the sprites land where the copy
// model puts them, and the actor, outlines and marks stay on the target.
TEST_P(ClipRandom, ScenesOfSpritesWithAnyGeometry) {
    const int bits = GetParam();
    PixelDevice dev(bits);
    Random r(unsigned(bits) * 31u);
    Surface* strip = dev.createSurface();
    strip->setSize(24, 7);
    paint(*strip, [](int x, int y) { return std::uint32_t(x * 7 + y * 3 + 1); });
    strip->setColorKey(8);
    Surface* target = dev.createSurface();
    target->setSize(53, 41);
    auto level = std::make_unique<Level>();
    level->stageCount = 1;
    // The same frames drawn by parts on a target that holds the one before.
    Surface* mended = dev.createSurface();
    mended->setSize(53, 41);
    SceneCache cache;
    const char* const names[] = {"", "Door", "Wg|", "Sector with a long", "x"};
    for (int round = 0; round < 300; ++round) {
        const int n = r.in(1, 6);
        level->stage(1).spriteCount = n;
        level->stage(1).sectorCount = n;
        for (int k = 1; k <= n; ++k) {
            SpriteRec& s = level->sprite(k, 1);
            s.surface = strip->handle();
            s.x = r.coord(53), s.y = r.coord(41), s.w = r.coord(24), s.h = r.coord(7);
            s.frame = r.coord(4);
            SectorRec& c = level->sector(k, 1);
            c.x = r.coord(53), c.y = r.coord(41), c.w = r.coord(53), c.h = r.coord(41);
            c.name.set(names[r.in(0, 4)]);
        }
        SceneView view;
        view.stage = 1;
        // No grid in a quarter of the rounds, else any size (odd ones too).
        const int grid = r.in(0, 3) == 0 ? 0 : r.in(2, 60);
        view.gridSize = grid;
        target->fill(0);
        Model expect(*target);
        for (int k = 1; k <= n; ++k) {
            const SpriteRec& s = level->sprite(k, 1);
            modelCopy(expect, Model(*strip), 8, true, s.x, s.y, frameRect(s.frame, s.w, s.h));
        }
        // The grid's dots over the sprites: every second pixel of each line
        // a multiple of the size away from the edge; every other pixel kept.
        const std::uint32_t gridPixel = dev.rgbToPixel(0x80, 0x80, 0x80);
        for (int y = 0; grid > 0 && y < 41; ++y)
            for (int x = 0; x < 53; ++x)
                if ((x % grid == 0 && y % 2 == 0) || (y % grid == 0 && x % 2 == 0)) expect.put(x, y, gridPixel);
        drawScene(*target, *level, dev, view);
        ASSERT_EQ(bytesOf(*target), expect.bytes) << "round " << round;

        SkinRec actor{};
        actor.surface = strip->handle();
        actor.w = r.coord(24), actor.h = r.coord(7);
        actor.frame = r.coord(4);
        view.actor = &actor;
        view.actorX = r.coord(53), view.actorY = r.coord(41);
        view.sectorOutlines = view.spriteOutlines = view.band = true;
        view.bandX1 = r.coord(53), view.bandY1 = r.coord(41);
        view.bandX2 = r.coord(53), view.bandY2 = r.coord(41);
        // Several items selected, some past the stage's counts.
        for (int k = r.in(0, 4); k > 0; --k) view.selectedSprites.insert(r.in(1, n + 2));
        for (int k = r.in(0, 4); k > 0; --k) view.selectedSectors.insert(r.in(1, n + 2));
        // Then one sprite is brought onto the target and its frame changed,
        // and one sector with its name brought onto it, renamed and moved:
        // small changes, drawn by parts among copies, outlines and names of
        // any size.
        SpriteRec& moved = level->sprite(r.in(1, n), 1);
        SectorRec& sector = level->sector(r.in(1, n), 1);
        for (int step = 0; step < 5; ++step) {
            drawScene(*target, *level, dev, view);
            drawScene(*mended, *level, dev, view, &cache);
            ASSERT_EQ(bytesOf(*mended), bytesOf(*target)) << "round " << round << ", step " << step;
            if (step == 0) moved.x = r.in(0, 50), moved.y = r.in(0, 38), moved.w = r.in(1, 8), moved.h = r.in(1, 7);
            moved.frame = r.in(1, 3);
            if (step == 1) sector.x = r.in(-5, 40), sector.y = r.in(-5, 30), sector.w = r.in(3, 40), sector.h = r.in(3, 30);
            if (step == 2) sector.name.set(names[r.in(0, 4)]);
            if (step == 3) sector.x += r.in(-3, 3), sector.y += r.in(-3, 3);
            view.sectorNames = step != 3 || r.in(0, 1) == 1;
            // The grid shown, hidden or resized between two frames now and then.
            if (r.in(0, 3) == 0) view.gridSize = r.in(0, 2) == 0 ? 0 : r.in(2, 60);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, ClipRandom, ::testing::Values(16, 32));

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
