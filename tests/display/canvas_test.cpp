#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "display/canvas.h"
#include "display/surface.h"

using namespace slv;

namespace {

struct Fixture {
    explicit Fixture(int bits, int w = 40, int h = 30) : dev(bits) {
        s = dev.createSurface();
        s->setSize(w, h);
        s->fill(0);
    }
    // The canvas with a clear brush and a pen of this colour and style.
    SurfaceCanvas& outline(std::uint32_t color, PenStyle style = PenStyle::Solid) {
        SurfaceCanvas& c = s->canvas();
        c.setBrushStyle(BrushStyle::Clear);
        c.setPenStyle(style);
        c.setPenColor(color);
        return c;
    }
    // White text on a clear brush at (x, y).
    void text(int x, int y, const QString& t) {
        SurfaceCanvas& c = s->canvas();
        c.setBrushStyle(BrushStyle::Clear);
        c.setFontColor(0xFFFFFF);
        c.drawText(x, y, t);
        c.releaseCanvas();
    }
    PixelDevice dev;
    Surface* s;
};

constexpr std::uint32_t kRed = 0x0000FF;  // red in the low byte

}  // namespace

TEST(Canvas, RectangleOutlineLeavesRightAndBottomEdgesOutWhicheverCornersComeFirst) {
    Fixture f(32), swapped(32);
    f.outline(kRed).rectangle(2, 3, 10, 8);
    f.s->releaseCanvas();
    // The outline runs over columns 2..9 and rows 3..7; a clear brush leaves the rest.
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool outline = x >= 2 && x <= 9 && y >= 3 && y <= 7 && (x == 2 || x == 9 || y == 3 || y == 7);
            ASSERT_EQ(f.s->pixelAt(x, y), outline ? 0x00FF0000u : 0u) << x << "," << y;
        }
    // The same rectangle from its corners in the other order.
    swapped.outline(kRed).rectangle(10, 8, 2, 3);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(swapped.s->pixelAt(x, y), f.s->pixelAt(x, y));
}

TEST(Canvas, DashedPenLeavesGaps) {
    Fixture f(32, 100, 60);
    f.outline(0xFFFFFF, PenStyle::Dash).rectangle(0, 0, 90, 50);
    f.s->releaseCanvas();
    int on = 0, off = 0;
    for (int x = 0; x < 90; ++x) (f.s->pixelAt(x, 0) ? on : off)++;
    EXPECT_GT(on, 0);
    EXPECT_GT(off, 0);
    EXPECT_EQ(f.s->pixelAt(0, 0), 0x00FFFFFFu);  // the pattern starts with a dash
    // Nothing outside the outline.
    for (int x = 0; x < 100; ++x) EXPECT_EQ(f.s->pixelAt(x, 50), 0u);
    for (int y = 1; y < 49; ++y) EXPECT_EQ(f.s->pixelAt(45, y), 0u);
    // Left and right edges have gaps as well.
    std::set<std::uint32_t> left, right;
    for (int y = 0; y < 50; ++y) {
        left.insert(f.s->pixelAt(0, y));
        right.insert(f.s->pixelAt(89, y));
    }
    EXPECT_EQ(left.size(), 2u);
    EXPECT_EQ(right.size(), 2u);
}

TEST(Canvas, SolidBrushFillsTheInterior) {
    Fixture f(16);
    SurfaceCanvas& c = f.outline(kRed);
    c.setBrushStyle(BrushStyle::Solid);
    c.setBrushColor(0xFF0000);  // blue
    c.rectangle(1, 1, 6, 6);
    c.releaseCanvas();
    EXPECT_EQ(f.s->pixelAt(1, 1), 0xF800u);
    EXPECT_EQ(f.s->pixelAt(3, 3), 0x001Fu);
    EXPECT_EQ(f.s->pixelAt(6, 6), 0u);
}

TEST(Canvas, SettingsLastAcrossReleasesAndThePainterDrawsIntoTheSamePixels) {
    Fixture f(32);
    SurfaceCanvas& c = f.outline(kRed, PenStyle::Dash);
    c.setFontColor(0x00FF00);
    c.rectangle(0, 0, 5, 5);
    c.releaseCanvas();
    EXPECT_FALSE(c.active());
    EXPECT_EQ(c.penColor(), kRed);
    EXPECT_EQ(c.penStyle(), PenStyle::Dash);
    EXPECT_EQ(c.brushStyle(), BrushStyle::Clear);
    EXPECT_EQ(c.fontColor(), 0x00FF00u);
    c.rectangle(10, 10, 15, 15);
    EXPECT_TRUE(c.active());
    c.releaseCanvas();
    EXPECT_EQ(f.s->pixelAt(10, 10), 0x00FF0000u);
    EXPECT_EQ(&f.s->canvas(), &c);

    QPainter& p = c.painter();
    ASSERT_TRUE(p.isActive());
    p.fillRect(20, 20, 2, 2, QColor(1, 2, 3));
    f.s->releaseCanvas();
    EXPECT_FALSE(p.isActive());
    EXPECT_EQ(f.s->pixelAt(21, 21), 0x00010203u);
}

TEST(Canvas, TextLinesFifteenPixelsApartDoNotOverlap) {
    for (int bits : {32, 16}) {
        Fixture f(bits, 120, 60);
        EXPECT_LE(f.s->canvas().textHeight(), 15);
        f.text(0, 15, "-1234567890");
        const std::uint32_t white = bits == 32 ? 0x00FFFFFFu : 0xFFFFu;
        int ink = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 120; ++x) {
                const std::uint32_t v = f.s->pixelAt(x, y);
                if (v == 0) continue;
                EXPECT_EQ(v, white);
                EXPECT_GE(y, 15);
                EXPECT_LT(y, 30);
                ++ink;
            }
        EXPECT_GT(ink, 20) << bits;
    }
}

TEST(Canvas, TextKeepsTheBackgroundWithAClearBrush) {
    Fixture f(32, 80, 20);
    f.s->fill(0x00102030);
    f.text(0, 0, "8");
    int background = 0, ink = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 10; ++x) {
            const std::uint32_t v = f.s->pixelAt(x, y);
            background += v == 0x00102030u;
            ink += v == 0x00FFFFFFu;
        }
    EXPECT_GT(ink, 0);
    EXPECT_GT(background, 0);
    EXPECT_EQ(ink + background, 150);
}

TEST(Canvas, NothingHappensOnASurfaceWithoutPixels) {
    PixelDevice dev(32);
    Surface* s = dev.createSurface();
    s->canvas().rectangle(0, 0, 10, 10);
    s->canvas().drawText(0, 0, "1");
    EXPECT_FALSE(s->canvas().active());
    EXPECT_EQ(s->width(), 0);
}

// The gaps of a dashed outline are exactly the pixels its dashes leave out:
// together they are the solid outline, each pixel once, for boxes of any
// size and place, on the surface or cut by its edges.
TEST(Canvas, GapsAndDashesMakeTheSolidOutlineWithoutOverlap) {
    struct Box {
        std::int64_t x1, y1, x2, y2;
    };
    const Box boxes[] = {{2, 3, 70, 50}, {60, 40, 5, 1}, {-30, -7, 50, 33}, {10, 10, 11, 60},
                         {0, 0, 80, 1},  {5, 5, 29, 29}, {-1000, 20, 1000, 21}};
    constexpr int W = 80, H = 60;
    for (const Box& b : boxes) {
        auto pixels = [&](OutlineStyle style) {
            std::vector<OutlineRun> runs;
            traceOutline(b.x1, b.y1, b.x2, b.y2, style, W, H, runs);
            std::vector<int> hits(W * H, 0);
            for (const OutlineRun& r : runs)
                for (int k = 0; k < r.length; ++k) ++hits[(r.vertical ? r.y + k : r.y) * W + (r.vertical ? r.x : r.x + k)];
            return hits;
        };
        const std::vector<int> solid = pixels(OutlineStyle::Solid), dashes = pixels(OutlineStyle::Dashes),
                               gaps = pixels(OutlineStyle::Gaps);
        int gapCount = 0;
        for (int i = 0; i < W * H; ++i) {
            ASSERT_EQ(dashes[i] + gaps[i], solid[i]) << b.x1 << "," << b.y1 << " at " << i % W << "," << i / W;
            gapCount += gaps[i];
        }
        if (std::abs(b.x2 - b.x1) > 30) {
            EXPECT_GT(gapCount, 0) << b.x1 << "," << b.y1;
        }
    }
}
