#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/bmp_writer.h"
#include "common/error_text.h"
#include "common/files.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "display/surface.h"
#include "model/errors.h"

using namespace slv;

namespace {

void setRaw(const PixelView& v, int x, int y, std::uint32_t value) {
    std::uint8_t* row = v.pixels + y * v.pitch;
    if (v.bytesPerPixel == 4) reinterpret_cast<std::uint32_t*>(row)[x] = value;
    else reinterpret_cast<std::uint16_t*>(row)[x] = std::uint16_t(value);
}

Surface* filled(PixelDevice& dev, int w, int h, std::uint32_t fill) {
    Surface* s = dev.createSurface();
    s->setSize(w, h);
    s->fill(fill);
    return s;
}

// A surface whose every pixel holds a different value (1-based, so none is 0).
Surface* numbered(PixelDevice& dev, int w, int h) {
    Surface* s = dev.createSurface();
    s->setSize(w, h);
    PixelView v = s->pixelsForWrite();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) setRaw(v, x, y, std::uint32_t(y * w + x + 1));
    return s;
}

std::vector<std::uint32_t> dump(const Surface& s) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) out.push_back(s.pixelAt(x, y));
    return out;
}

// The copy rule worked out pixel by pixel: destination pixel (dx, dy) takes
// source pixel (dx - x + S.left, dy - y + S.top) when both lie on their
// surfaces and inside the rectangles, unless x or y is beyond the far edge.
std::vector<std::uint32_t> expectedCopy(const Surface& dst, int x, int y, PixelRect S,
                                        const Surface& src, bool transparent) {
    std::vector<std::uint32_t> out = dump(dst);
    if (x > dst.width() || y > dst.height()) return out;
    for (int dy = 0; dy < dst.height(); ++dy)
        for (int dx = 0; dx < dst.width(); ++dx) {
            const int sx = dx - x + S.left, sy = dy - y + S.top;
            if (sx < S.left || sx >= S.right || sy < S.top || sy >= S.bottom) continue;
            if (sx < 0 || sy < 0 || sx >= src.width() || sy >= src.height()) continue;
            const std::uint32_t v = src.pixelAt(sx, sy);
            if (transparent && v == src.colorKey()) continue;
            out[std::size_t(dy * dst.width() + dx)] = v;
        }
    return out;
}

std::string writeFile(const QTemporaryDir& dir, const char* name, std::string_view bytes) {
    const std::string path = dir.filePath(name).toStdString();
    slvtest::writeFile(path, bytes);
    return path;
}

std::string writeBmp(const QTemporaryDir& dir, const char* name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path.toStdString();
}


// Magenta, with green at (1, 0) and white at (2, 1).
QImage magentaAndGreen() {
    QImage img(4, 2, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    img.setPixel(1, 0, qRgb(0, 255, 0));
    img.setPixel(2, 1, qRgb(255, 255, 255));
    return img;
}

class BitDepth : public ::testing::TestWithParam<int> {
protected:
    bool wide() const { return GetParam() == 32; }
    PixelDevice dev{GetParam()};
};

}  // namespace

// ---------------------------------------------------------------- handles

TEST(SurfaceHandles, ResolveGivesSurfaceUntilFreed) {
    PixelDevice dev(32);
    Surface* a = Surface::create(dev);
    Surface* b = dev.createSurface();
    ASSERT_NE(a->handle(), 0u);
    EXPECT_NE(a->handle(), b->handle());
    EXPECT_EQ(dev.resolve(a->handle()), a);
    EXPECT_EQ(dev.resolve(b->handle()), b);
    EXPECT_EQ(dev.resolve(0), nullptr);
    EXPECT_EQ(dev.resolve(0xDEADBEEF), nullptr);
    const SurfaceHandle h = a->handle();
    dev.freeSurface(h);
    EXPECT_EQ(dev.resolve(h), nullptr);
    EXPECT_EQ(dev.resolve(b->handle()), b);
    EXPECT_EQ(dev.surfaceCount(), 1u);
    dev.freeSurface(h);  // twice is harmless
    dev.freeSurface(0);
    EXPECT_EQ(dev.surfaceCount(), 1u);
}

TEST(SurfaceHandles, HandlesOfADestroyedDeviceResolveToNothing) {
    auto first = std::make_unique<PixelDevice>(32);
    std::vector<SurfaceHandle> old, fresh;
    for (int i = 0; i < 5; ++i) old.push_back(first->createSurface()->handle());
    first.reset();
    PixelDevice second(16);
    for (int i = 0; i < 5; ++i) fresh.push_back(second.createSurface()->handle());
    for (SurfaceHandle h : old) {
        EXPECT_EQ(second.resolve(h), nullptr);
        for (SurfaceHandle f : fresh) EXPECT_NE(h, f);
    }
    for (SurfaceHandle f : fresh) EXPECT_NE(second.resolve(f), nullptr);
}

TEST(SurfaceHandles, OnlyTheTwoPixelFormatsMakeADevice) {
    EXPECT_EQ(PixelDevice(32).bitsPerPixel(), 32);
    EXPECT_EQ(PixelDevice(16).bitsPerPixel(), 16);
    EXPECT_THROW(PixelDevice(8), Error);
}

// ---------------------------------------------------------------- sizes and pixels

TEST_P(BitDepth, SizesFillsAndReadPixel) {
    Surface* s = dev.createSurface();
    EXPECT_EQ(s->bitsPerPixel(), GetParam());
    EXPECT_EQ(s->rect(), (PixelRect{0, 0, 0, 0}));  // a new surface has no pixels
    EXPECT_EQ(s->pixelAt(0, 0), 0u);
    s->fill(5);  // nothing to fill, nothing raised
    s->setSize(7, 3);
    EXPECT_EQ(s->rect(), (PixelRect{0, 0, 7, 3}));
    const std::uint32_t value = wide() ? 0x00123456u : 0x1234u;
    s->fill(value);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(s->pixelAt(x, y), value);
    // Outside the surface, at Width and Height as well, the pixel is 0.
    for (auto [x, y] : {std::pair{7, 0}, std::pair{0, 3}, std::pair{-1, 0}, std::pair{0, -1}})
        EXPECT_EQ(s->pixelAt(x, y), 0u) << x << "," << y;
    s->fill(0);
    EXPECT_EQ(s->pixelAt(6, 2), 0u);
    const std::uint32_t equalBytes = wide() ? 0x00ABABABu : 0xABABu;
    s->fill(equalBytes);
    EXPECT_EQ(s->pixelAt(3, 1), equalBytes);
    s->setSize(0, 3);  // zero size releases the pixels
    EXPECT_FALSE(s->hasPixels());
    EXPECT_EQ(s->rect(), (PixelRect{0, 0, 0, 0}));
}

TEST(SurfacePixels, ThirtyTwoBitValuesKeepTheTopByteClear) {
    PixelDevice dev(32);
    Surface* s = filled(dev, 2, 2, 0xFF00FF00u);
    EXPECT_EQ(s->pixelAt(1, 1), 0x0000FF00u);
    s->setColorKey(0xFFFF00FFu);
    EXPECT_EQ(s->colorKey(), 0x00FF00FFu);
    EXPECT_EQ(dev.rgbToPixel(255, 0, 255), 0x00FF00FFu);
    EXPECT_EQ(PixelDevice(16).rgbToPixel(255, 0, 255), 63519u);
}

// ---------------------------------------------------------------- loading

TEST_P(BitDepth, LoadBitmapGivesRawPixelsAndAFailedLoadKeepsThem) {
    QTemporaryDir dir;
    Surface* s = dev.createSurface();
    s->setColorKey(3);
    s->loadPicture(writeBmp(dir, "good.bmp", magentaAndGreen()));
    EXPECT_EQ(s->rect(), (PixelRect{0, 0, 4, 2}));
    EXPECT_EQ(s->colorKey(), 0u);  // reset by the load
    EXPECT_EQ(s->pixelAt(0, 0), wide() ? 0x00FF00FFu : 63519u);
    EXPECT_EQ(s->pixelAt(1, 0), wide() ? 0x0000FF00u : 0x07E0u);
    EXPECT_EQ(s->pixelAt(2, 1), wide() ? 0x00FFFFFFu : 0xFFFFu);

    s->setColorKey(s->pixelAt(0, 0));
    const std::string gone = dir.filePath("gone.bmp").toStdString();
    const std::string bad1 = writeFile(dir, "bad.bmp", "BM this is no bitmap at all, only some bytes");
    const std::string notes = writeFile(dir, "notes.bmp", "hello");
    const std::string folder = dir.path().toStdString();
    const std::string fifo = folder + "/pipe.bmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // must not block the load
    const std::string tooWide = writeFile(dir, "wide.bmp", bmpHeader(kMaxPictureSide + 1, 2));
    const std::pair<std::string, std::string> bad[] = {
        {bad1, "Cannot load picture " + bad1 + ": not a picture"},
        {notes, "Cannot load picture " + notes + ": not a picture"},
        {gone, "Cannot open file " + gone + ": unreadable (No such file or directory)"},
        {folder, "Cannot open file " + folder + ": unreadable (not a regular file)"},
        {fifo, "Cannot open file " + fifo + ": unreadable (not a regular file)"},
        {tooWide, "Cannot load picture " + tooWide + ": too large: 16385 x 2 (at most 16384 x 16384)"},
    };
    for (const auto& [path, message] : bad) {
        const std::string error = errorOf([&] { s->loadPicture(path); });
        EXPECT_EQ(error, message);
        const PictureProbe probe = probePicture(path);
        EXPECT_FALSE(probe.readable) << path;
        EXPECT_EQ(probe.error, message);
        EXPECT_EQ(s->rect(), (PixelRect{0, 0, 4, 2}));
        EXPECT_EQ(s->pixelAt(1, 0), wide() ? 0x0000FF00u : 0x07E0u);
        EXPECT_EQ(s->colorKey(), s->pixelAt(0, 0));
    }
}

TEST_P(BitDepth, PicturesAreKnownByTheirContentAndProbedFromTheirHeader) {
    QTemporaryDir dir;
    // A PNG named .bmp and a BMP named .txt load alike.
    const QString png = dir.filePath("really-a-png.bmp");
    ASSERT_TRUE(magentaAndGreen().save(png, "PNG"));
    const std::string txt = writeBmp(dir, "picture.txt", magentaAndGreen());
    for (const std::string& path : {png.toStdString(), txt}) {
        Surface* s = dev.createSurface();
        s->loadPicture(path);
        EXPECT_EQ(s->pixelAt(1, 0), wide() ? 0x0000FF00u : 0x07E0u) << path;
        const PictureProbe probe = probePicture(path);
        EXPECT_TRUE(probe.readable) << probe.error;
        EXPECT_EQ(probe.width, 4);
        EXPECT_EQ(probe.height, 2);
    }
    // The largest picture allowed is probed from its header alone.
    const PictureProbe largest = probePicture(writeFile(dir, "largest.bmp", bmpHeader(kMaxPictureSide, kMaxPictureSide)));
    EXPECT_TRUE(largest.readable) << largest.error;
    EXPECT_EQ(largest.width, kMaxPictureSide);
    const PictureProbe tall = probePicture(writeFile(dir, "tall.bmp", bmpHeader(3, kMaxPictureSide + 1)));
    EXPECT_FALSE(tall.readable);
    EXPECT_EQ(tall.height, kMaxPictureSide + 1);
}

TEST_P(BitDepth, KeyFromOnePictureMatchesPixelsOfAnother) {
    QTemporaryDir dir;
    QImage sprite(3, 1, QImage::Format_RGB32);
    sprite.fill(QColor(255, 0, 255));
    sprite.setPixel(1, 0, qRgb(10, 20, 30));
    Surface* probe = dev.createSurface();
    probe->loadPicture(writeBmp(dir, "purple.bmp", magentaAndGreen()));
    const std::uint32_t key = probe->pixelAt(0, 0);
    dev.freeSurface(probe->handle());
    Surface* s = dev.createSurface();
    s->loadPicture(writeBmp(dir, "sprite.bmp", sprite));
    s->setColorKey(key);
    Surface* back = filled(dev, 3, 1, 1);
    back->blitAll(0, 0, s, true);
    EXPECT_EQ(back->pixelAt(0, 0), 1u);
    EXPECT_NE(back->pixelAt(1, 0), 1u);
    EXPECT_EQ(back->pixelAt(2, 0), 1u);
}

// ---------------------------------------------------------------- copies

TEST_P(BitDepth, CopiesAreClippedAtEachEdge) {
    Surface* src = numbered(dev, 4, 4);
    Surface* dst = filled(dev, 10, 10, 0);
    // Left of and above: source column 2.., row 1.. lands at (0, 0).
    dst->blit(-2, -1, src->rect(), src, false);
    EXPECT_EQ(dst->pixelAt(0, 0), src->pixelAt(2, 1));
    EXPECT_EQ(dst->pixelAt(1, 2), src->pixelAt(3, 3));
    EXPECT_EQ(dst->pixelAt(2, 0), 0u);
    EXPECT_EQ(dst->pixelAt(0, 3), 0u);
    // Over the right and bottom edges: cut there.
    dst->fill(0);
    dst->blit(8, 7, PixelRect{0, 0, 4, 4}, src, false);
    EXPECT_EQ(dst->pixelAt(8, 7), src->pixelAt(0, 0));
    EXPECT_EQ(dst->pixelAt(9, 9), src->pixelAt(1, 2));
    EXPECT_EQ(dst->pixelAt(7, 7), 0u);
    // Beyond the far edge, empty or missing sources: nothing.
    dst->fill(0);
    const auto blank = dump(*dst);
    dst->blit(11, 0, src->rect(), src, false);
    dst->blit(0, 11, src->rect(), src, false);
    dst->blit(10, 0, src->rect(), src, false);  // x == Width
    dst->blit(0, 10, src->rect(), src, false);  // y == Height
    dst->blit(2, 2, PixelRect{1, 1, 1, 3}, src, false);    // empty source
    dst->blit(2, 2, PixelRect{0, 2, 4, 2}, src, false);
    dst->blit(2, 2, PixelRect{4, 0, 8, 4}, src, false);    // right of the source
    dst->blit(2, 2, src->rect(), nullptr, false);
    dst->blit(-4, 0, src->rect(), src, false);  // clipped to nothing
    EXPECT_EQ(dump(*dst), blank);
}

TEST_P(BitDepth, CopiesFollowTheClippingRuleEverywhere) {
    Surface* src = numbered(dev, 13, 9);
    src->setColorKey(src->pixelAt(5, 4));
    Surface* dst = filled(dev, 11, 8, 0);
    std::mt19937 rng(7);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        dst->fill(0);
        const int l = pick(-4, 15), t = pick(-4, 11);
        const PixelRect S{l, t, l + pick(0, 12), t + pick(0, 10)};
        const int x = pick(-15, 13), y = pick(-12, 10);
        const bool transparent = round % 2 == 1;
        const auto expected = expectedCopy(*dst, x, y, S, *src, transparent);
        dst->blit(x, y, S, src, transparent);
        ASSERT_EQ(dump(*dst), expected)
            << "x " << x << " y " << y << " S " << S.left << "," << S.top << "," << S.right << ","
            << S.bottom << (transparent ? " keyed" : "");
    }
}

TEST_P(BitDepth, KeyedCopySkipsKeyPixels) {
    const std::uint32_t key = wide() ? 0x00FF00FFu : 63519u, ink = wide() ? 0x00123456u : 0x1234u;
    Surface* sprite = filled(dev, 40, 3, key);  // wider than one vector of pixels
    for (int x = 0; x < 40; x += 3) setRaw(sprite->pixelsForWrite(), x, 1, ink);
    sprite->setColorKey(key);
    Surface* back = filled(dev, 50, 5, 7);
    back->blit(1, 1, sprite->rect(), sprite, true);
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(back->pixelAt(x + 1, 1), 7u);
        EXPECT_EQ(back->pixelAt(x + 1, 2), x % 3 == 0 ? ink : 7u) << x;
    }
    // Without the flag every pixel is copied.
    back->blit(1, 1, sprite->rect(), sprite, false);
    EXPECT_EQ(back->pixelAt(1, 1), key);
    EXPECT_EQ(back->pixelAt(2, 2), key);
}

TEST_P(BitDepth, KeyChangesAndPixelChangesShowInTheNextKeyedCopy) {
    Surface* sprite = numbered(dev, 20, 2);
    Surface* back = filled(dev, 20, 2, 0);
    auto keyedCopy = [&] {
        back->fill(0);
        back->blitAll(0, 0, sprite, true);
    };
    sprite->setColorKey(sprite->pixelAt(0, 0));
    keyedCopy();
    EXPECT_EQ(back->pixelAt(0, 0), 0u);
    EXPECT_EQ(back->pixelAt(1, 0), sprite->pixelAt(1, 0));
    sprite->setColorKey(sprite->pixelAt(1, 0));
    keyedCopy();
    EXPECT_EQ(back->pixelAt(0, 0), sprite->pixelAt(0, 0));
    EXPECT_EQ(back->pixelAt(1, 0), 0u);
    sprite->fill(sprite->colorKey());
    keyedCopy();
    EXPECT_EQ(dump(*back), std::vector<std::uint32_t>(40, 0u));
}

TEST_P(BitDepth, CopyOntoItself) {
    Surface* s = numbered(dev, 6, 6);
    const auto before = dump(*s);
    s->blit(1, 1, PixelRect{0, 0, 5, 5}, s, false);
    for (int y = 1; y < 6; ++y)
        for (int x = 1; x < 6; ++x) EXPECT_EQ(s->pixelAt(x, y), before[std::size_t((y - 1) * 6 + x - 1)]);
}

TEST_P(BitDepth, FillShowsWhereverThePixelsAreUsed) {
    Surface* src = numbered(dev, 8, 4);
    Surface* dst = filled(dev, 8, 4, 9);
    // Whole-surface opaque copy after a fill: the copy wins everywhere.
    dst->blitAll(0, 0, src, false);
    EXPECT_EQ(dump(*dst), dump(*src));
    // Partial copy after a fill: the fill stays around it.
    dst->fill(9);
    dst->blit(2, 1, PixelRect{0, 0, 2, 2}, src, false);
    EXPECT_EQ(dst->pixelAt(0, 0), 9u);
    EXPECT_EQ(dst->pixelAt(2, 1), src->pixelAt(0, 0));
    EXPECT_EQ(dst->pixelAt(7, 3), 9u);
    // Keyed whole-surface copy: key pixels keep the fill.
    src->setColorKey(src->pixelAt(3, 2));
    dst->fill(9);
    dst->blitAll(0, 0, src, true);
    EXPECT_EQ(dst->pixelAt(3, 2), 9u);
    EXPECT_EQ(dst->pixelAt(4, 2), src->pixelAt(4, 2));
    // A filled surface as the source, and raw access.
    src->fill(5);
    dst->blitAll(0, 0, src, false);
    EXPECT_EQ(dst->pixelAt(6, 1), 5u);
    dst->fill(6);
    const PixelView v = dst->pixels();
    EXPECT_EQ(wide() ? reinterpret_cast<const std::uint32_t*>(v.pixels)[3]
                     : reinterpret_cast<const std::uint16_t*>(v.pixels)[3], 6u);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitDepth, ::testing::Values(32, 16),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(SurfaceCopies, SurfacesOfTheOtherFormatAreConverted) {
    PixelDevice wide(32), narrow(16);
    Surface* dst = filled(wide, 2, 1, 0);
    dst->blitAll(0, 0, filled(narrow, 2, 1, 63519), false);
    EXPECT_EQ(dst->pixelAt(1, 0) & 0x00F8F8F8u, 0x00F800F8u);
}

// Every keyed copy routine compiled into the program that this processor
// runs, called directly and through a forced dispatch, against the copy rule
// worked out pixel by pixel: widths on both sides of each routine's block
// size (odd ones included), key pixels at the first and last column and
// every column between, and sentinels around the rectangle that no routine
// may touch (a row end one pixel too long or too short shows there).
class KeyedCopyPaths : public ::testing::TestWithParam<std::tuple<CopyPath, int>> {};

TEST_P(KeyedCopyPaths, CopyEveryWidthAndEdgeAsThePlainRule) {
    const auto [path, bytes] = GetParam();
    bool runs = false;
    for (CopyPath p : runnableCopyPaths()) runs = runs || p == path;
    if (!runs) GTEST_SKIP() << copyPathName(path) << " is not run by this processor";
    const std::uint32_t key = bytes == 4 ? 0x00FF00FFu : 0xF81Fu, sentinel = bytes == 4 ? 0x00ABCDEFu : 0xABCDu;
    constexpr int kRows = 3, kMargin = 40;  // pixels of sentinel on either side of a row
    std::mt19937 rng(7);
    for (int w : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 95, 127, 129}) {
        // Three patterns: key only at the edges, every other pixel, random.
        for (int pattern = 0; pattern < 3; ++pattern) {
            const int pitchPixels = w + 2 * kMargin;
            std::vector<std::uint8_t> src(std::size_t(pitchPixels) * kRows * 4), dst(src.size()), want;
            auto at = [bytes = bytes, pitchPixels](std::vector<std::uint8_t>& v, int x, int y) {
                return v.data() + (std::size_t(y) * pitchPixels + std::size_t(x + kMargin)) * std::size_t(bytes);
            };
            auto put = [bytes = bytes](std::uint8_t* p, std::uint32_t value) { std::memcpy(p, &value, std::size_t(bytes)); };
            for (int y = 0; y < kRows; ++y)
                for (int x = -kMargin; x < w + kMargin; ++x) {
                    std::uint32_t s = (std::uint32_t(rng()) & (bytes == 4 ? 0x00FFFFFFu : 0xFFFFu)) | 1u;
                    const bool inside = x >= 0 && x < w;
                    if (inside && pattern == 0 && (x == 0 || x == w - 1 || y == 1)) s = key;
                    if (inside && pattern == 1 && (x + y) % 2 == 0) s = key;
                    if (inside && pattern == 2 && rng() % 3 == 0) s = key;
                    if (s == key && !inside) s ^= 2;  // outside the rectangle: never the key
                    put(at(src, x, y), s);
                    put(at(dst, x, y), sentinel + std::uint32_t(x + 100 * y));
                }
            want = dst;
            for (int y = 0; y < kRows; ++y)
                for (int x = 0; x < w; ++x)
                    if (std::memcmp(at(src, x, y), &key, std::size_t(bytes)) != 0)
                        std::memcpy(at(want, x, y), at(src, x, y), std::size_t(bytes));
            keyedCopy(path, at(dst, 0, 0), pitchPixels * bytes, at(src, 0, 0), pitchPixels * bytes, w, kRows, bytes,
                      key);
            ASSERT_EQ(dst, want) << copyPathName(path) << ", " << bytes * 8 << " bits, width " << w
                                 << ", pattern " << pattern;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Routines, KeyedCopyPaths,
                         ::testing::Combine(::testing::Values(CopyPath::Plain, CopyPath::Avx2, CopyPath::Avx512),
                                            ::testing::Values(4, 2)),
                         [](const auto& info) {
                             const CopyPath p = std::get<0>(info.param);
                             return std::string(p == CopyPath::Plain ? "Plain_" : p == CopyPath::Avx2 ? "Avx2_" : "Avx512_") +
                                    std::to_string(std::get<1>(info.param) * 8) + "bit";
                         });

// The AVX-512 routine ends each row with a masked block; checked here on any
// processor. 32 lanes of 16-bit pixels, 16 lanes of 32-bit pixels.
TEST(KeyedCopyRowEnd, MaskCoversExactlyThePixelsPastTheLastWholeBlock) {
    struct Case {
        int width, lanes, pixelsLeft;
    };
    const Case cases[] = {
        {1, 32, 1}, {31, 32, 31}, {32, 32, 0}, {33, 32, 1}, {67, 32, 3}, {64, 32, 0}, {95, 32, 31}, {100, 32, 4},
        {1, 16, 1}, {15, 16, 15}, {16, 16, 0}, {17, 16, 1}, {35, 16, 3}, {48, 16, 0}, {63, 16, 15}, {100, 16, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width) + ", " + std::to_string(c.lanes) + " lanes");
        const std::uint64_t mask = rowEndMask(c.width, c.lanes);
        EXPECT_EQ(std::popcount(mask), c.pixelsLeft);
        EXPECT_EQ(std::bit_width(mask), c.pixelsLeft);  // contiguous from lane 0
    }
}

// Surfaces' keyed copies take whichever path the dispatch is forced to,
// down to the plain one, with the same pixels on every path.
TEST(SurfaceCopies, KeyedCopiesGiveTheSamePixelsOnEveryForcedPath) {
    const CopyPath before = copyPath();
    for (int bits : {32, 16}) {
        PixelDevice dev(bits);
        Surface* sprite = numbered(dev, 45, 7);
        sprite->setColorKey(sprite->pixelAt(44, 3));
        for (int x = 0; x < 45; x += 2) setRaw(sprite->pixelsForWrite(), x, 2, sprite->colorKey());
        std::vector<std::uint32_t> first;
        for (CopyPath p : runnableCopyPaths()) {
            EXPECT_EQ(forceCopyPath(p), p);
            EXPECT_EQ(copyPath(), p);
            Surface* back = filled(dev, 60, 12, 3);
            back->blit(-2, 3, sprite->rect(), sprite, true);
            if (first.empty())
                first = dump(*back);
            else
                EXPECT_EQ(dump(*back), first) << copyPathName(p) << ", " << bits << " bits";
        }
        // And that copy is the rule's, worked out pixel by pixel.
        Surface* blank = filled(dev, 60, 12, 3);
        EXPECT_EQ(first, expectedCopy(*blank, -2, 3, sprite->rect(), *sprite, true)) << bits;
    }
    // A path the processor lacks falls to the best one below it.
    const auto runnable = runnableCopyPaths();
    EXPECT_EQ(forceCopyPath(CopyPath::Avx512), runnable.back());
    forceCopyPath(before);
}
