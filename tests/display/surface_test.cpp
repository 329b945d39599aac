#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/error_text.h"
#include "common/files.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
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

TDirectDrawSurface* filled(TDirectDraw& dev, int w, int h, std::uint32_t fill) {
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(w, h);
    s->FillColor(fill);
    return s;
}

// A surface whose every pixel holds a different value (1-based, so none is 0).
TDirectDrawSurface* numbered(TDirectDraw& dev, int w, int h) {
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(w, h);
    PixelView v = s->PixelsForWrite();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) setRaw(v, x, y, std::uint32_t(y * w + x + 1));
    return s;
}

std::vector<std::uint32_t> dump(const TDirectDrawSurface& s) {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) out.push_back(s.ReadPixel(x, y));
    return out;
}

// The copy rule worked out pixel by pixel: destination pixel (dx, dy) takes
// source pixel (dx - x + S.Left, dy - y + S.Top) when both lie on their
// surfaces and inside the rectangles, unless x or y is beyond the far edge.
std::vector<std::uint32_t> expectedCopy(const TDirectDrawSurface& dst, int x, int y, TRect S,
                                        const TDirectDrawSurface& src, bool transparent) {
    std::vector<std::uint32_t> out = dump(dst);
    if (x > dst.Width() || y > dst.Height()) return out;
    for (int dy = 0; dy < dst.Height(); ++dy)
        for (int dx = 0; dx < dst.Width(); ++dx) {
            const int sx = dx - x + S.Left, sy = dy - y + S.Top;
            if (sx < S.Left || sx >= S.Right || sy < S.Top || sy >= S.Bottom) continue;
            if (sx < 0 || sy < 0 || sx >= src.Width() || sy >= src.Height()) continue;
            const std::uint32_t v = src.ReadPixel(sx, sy);
            if (transparent && v == src.KeyColor()) continue;
            out[std::size_t(dy * dst.Width() + dx)] = v;
        }
    return out;
}

std::string writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const std::string path = dir.filePath(name).toStdString();
    slvtest::writeFile(path, bytes.constData(), std::size_t(bytes.size()));
    return path;
}

std::string writeBmp(const QTemporaryDir& dir, const char* name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path.toStdString();
}

// The 54-byte header of a 24-bit BMP of w x h pixels, without its pixels.
QByteArray bmpHeader(int w, int h) {
    QByteArray b(54, '\0');
    auto put = [&b](int at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) b[at + i] = char(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    const std::uint32_t data = std::uint32_t(((w * 3 + 3) & ~3) * h);
    put(2, 54 + data, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, std::uint32_t(w), 4);
    put(22, std::uint32_t(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, data, 4);
    return b;
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
    TDirectDraw dev{GetParam()};
};

}  // namespace

// ---------------------------------------------------------------- handles

TEST(SurfaceHandles, ResolveGivesSurfaceUntilFreed) {
    TDirectDraw dev(32);
    TDirectDrawSurface* a = TDirectDrawSurface::Create(dev);
    TDirectDrawSurface* b = dev.CreateSurface();
    ASSERT_NE(a->handle(), 0u);
    EXPECT_NE(a->handle(), b->handle());
    EXPECT_EQ(dev.resolve(a->handle()), a);
    EXPECT_EQ(dev.resolve(b->handle()), b);
    EXPECT_EQ(dev.resolve(0), nullptr);
    EXPECT_EQ(dev.resolve(0xDEADBEEF), nullptr);
    const SurfaceHandle h = a->handle();
    dev.FreeSurface(h);
    EXPECT_EQ(dev.resolve(h), nullptr);
    EXPECT_EQ(dev.resolve(b->handle()), b);
    EXPECT_EQ(dev.SurfaceCount(), 1u);
    dev.FreeSurface(h);  // twice is harmless
    dev.FreeSurface(0);
    EXPECT_EQ(dev.SurfaceCount(), 1u);
}

TEST(SurfaceHandles, HandlesOfADestroyedDeviceResolveToNothing) {
    auto first = std::make_unique<TDirectDraw>(32);
    std::vector<SurfaceHandle> old, fresh;
    for (int i = 0; i < 5; ++i) old.push_back(first->CreateSurface()->handle());
    first.reset();
    TDirectDraw second(16);
    for (int i = 0; i < 5; ++i) fresh.push_back(second.CreateSurface()->handle());
    for (SurfaceHandle h : old) {
        EXPECT_EQ(second.resolve(h), nullptr);
        for (SurfaceHandle f : fresh) EXPECT_NE(h, f);
    }
    for (SurfaceHandle f : fresh) EXPECT_NE(second.resolve(f), nullptr);
}

TEST(SurfaceHandles, OnlyTheTwoPixelFormatsMakeADevice) {
    EXPECT_EQ(TDirectDraw(32).BitCount(), 32);
    EXPECT_EQ(TDirectDraw(16).BitCount(), 16);
    EXPECT_THROW(TDirectDraw(8), Error);
}

// ---------------------------------------------------------------- sizes and pixels

TEST_P(BitDepth, SizesFillsAndReadPixel) {
    TDirectDrawSurface* s = dev.CreateSurface();
    EXPECT_EQ(s->BitCount(), GetParam());
    EXPECT_EQ(s->SurfaceRect(), (TRect{0, 0, 0, 0}));  // a new surface has no pixels
    EXPECT_EQ(s->ReadPixel(0, 0), 0u);
    s->FillColor(5);  // nothing to fill, nothing raised
    s->SetSize(7, 3);
    EXPECT_EQ(s->SurfaceRect(), (TRect{0, 0, 7, 3}));
    const std::uint32_t value = wide() ? 0x00123456u : 0x1234u;
    s->FillColor(value);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(s->ReadPixel(x, y), value);
    // Outside the surface, at Width and Height as well, the pixel is 0.
    for (auto [x, y] : {std::pair{7, 0}, std::pair{0, 3}, std::pair{-1, 0}, std::pair{0, -1}})
        EXPECT_EQ(s->ReadPixel(x, y), 0u) << x << "," << y;
    s->FillColor(0);
    EXPECT_EQ(s->ReadPixel(6, 2), 0u);
    const std::uint32_t equalBytes = wide() ? 0x00ABABABu : 0xABABu;
    s->FillColor(equalBytes);
    EXPECT_EQ(s->ReadPixel(3, 1), equalBytes);
    s->SetSize(0, 3);  // zero size releases the pixels
    EXPECT_FALSE(s->hasPixels());
    EXPECT_EQ(s->Width(), 0);
    EXPECT_EQ(s->Height(), 0);
}

TEST(SurfacePixels, ThirtyTwoBitValuesKeepTheTopByteClear) {
    TDirectDraw dev(32);
    TDirectDrawSurface* s = filled(dev, 2, 2, 0xFF00FF00u);
    EXPECT_EQ(s->ReadPixel(1, 1), 0x0000FF00u);
    s->SetKeyColor(0xFFFF00FFu);
    EXPECT_EQ(s->KeyColor(), 0x00FF00FFu);
    EXPECT_EQ(dev.rgbToPixel(255, 0, 255), 0x00FF00FFu);
    EXPECT_EQ(TDirectDraw(16).rgbToPixel(255, 0, 255), 63519u);
}

// ---------------------------------------------------------------- loading

TEST_P(BitDepth, LoadBitmapGivesRawPixelsAndAFailedLoadKeepsThem) {
    QTemporaryDir dir;
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetKeyColor(3);
    s->LoadBitmapFile(writeBmp(dir, "good.bmp", magentaAndGreen()));
    EXPECT_EQ(s->Width(), 4);
    EXPECT_EQ(s->Height(), 2);
    EXPECT_EQ(s->KeyColor(), 0u);  // reset by the load
    EXPECT_EQ(s->ReadPixel(0, 0), wide() ? 0x00FF00FFu : 63519u);
    EXPECT_EQ(s->ReadPixel(1, 0), wide() ? 0x0000FF00u : 0x07E0u);
    EXPECT_EQ(s->ReadPixel(2, 1), wide() ? 0x00FFFFFFu : 0xFFFFu);

    s->SetKeyColor(s->ReadPixel(0, 0));
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
        const std::string error = errorOf([&] { s->LoadBitmapFile(path); });
        EXPECT_EQ(error, message);
        const PictureProbe probe = ProbePicture(path);
        EXPECT_FALSE(probe.readable) << path;
        EXPECT_EQ(probe.error, message);
        EXPECT_EQ(s->Width(), 4);
        EXPECT_EQ(s->Height(), 2);
        EXPECT_EQ(s->ReadPixel(1, 0), wide() ? 0x0000FF00u : 0x07E0u);
        EXPECT_EQ(s->KeyColor(), s->ReadPixel(0, 0));
    }
}

TEST_P(BitDepth, PicturesAreKnownByTheirContentAndProbedFromTheirHeader) {
    QTemporaryDir dir;
    // A PNG named .bmp and a BMP named .txt load alike.
    const QString png = dir.filePath("really-a-png.bmp");
    ASSERT_TRUE(magentaAndGreen().save(png, "PNG"));
    const std::string txt = writeBmp(dir, "picture.txt", magentaAndGreen());
    for (const std::string& path : {png.toStdString(), txt}) {
        TDirectDrawSurface* s = dev.CreateSurface();
        s->LoadBitmapFile(path);
        EXPECT_EQ(s->ReadPixel(1, 0), wide() ? 0x0000FF00u : 0x07E0u) << path;
        const PictureProbe probe = ProbePicture(path);
        EXPECT_TRUE(probe.readable) << probe.error;
        EXPECT_EQ(probe.width, 4);
        EXPECT_EQ(probe.height, 2);
    }
    // The largest picture allowed is probed from its header alone.
    const PictureProbe largest = ProbePicture(writeFile(dir, "largest.bmp", bmpHeader(kMaxPictureSide, kMaxPictureSide)));
    EXPECT_TRUE(largest.readable) << largest.error;
    EXPECT_EQ(largest.width, kMaxPictureSide);
    const PictureProbe tall = ProbePicture(writeFile(dir, "tall.bmp", bmpHeader(3, kMaxPictureSide + 1)));
    EXPECT_FALSE(tall.readable);
    EXPECT_EQ(tall.height, kMaxPictureSide + 1);
}

TEST_P(BitDepth, KeyFromOnePictureMatchesPixelsOfAnother) {
    QTemporaryDir dir;
    QImage sprite(3, 1, QImage::Format_RGB32);
    sprite.setPixel(0, 0, qRgb(255, 0, 255));
    sprite.setPixel(1, 0, qRgb(10, 20, 30));
    sprite.setPixel(2, 0, qRgb(255, 0, 255));
    TDirectDrawSurface* probe = dev.CreateSurface();
    probe->LoadBitmapFile(writeBmp(dir, "purple.bmp", magentaAndGreen()));
    const std::uint32_t key = probe->ReadPixel(0, 0);
    dev.FreeSurface(probe->handle());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->LoadBitmapFile(writeBmp(dir, "sprite.bmp", sprite));
    s->SetKeyColor(key);
    TDirectDrawSurface* back = filled(dev, 3, 1, 1);
    back->Draw(0, 0, s, true);
    EXPECT_EQ(back->ReadPixel(0, 0), 1u);
    EXPECT_NE(back->ReadPixel(1, 0), 1u);
    EXPECT_EQ(back->ReadPixel(2, 0), 1u);
}

// ---------------------------------------------------------------- copies

TEST_P(BitDepth, CopiesAreClippedAtEachEdge) {
    TDirectDrawSurface* src = numbered(dev, 4, 4);
    TDirectDrawSurface* dst = filled(dev, 10, 10, 0);
    // Left of and above: source column 2.., row 1.. lands at (0, 0).
    dst->DrawRect(-2, -1, src->SurfaceRect(), src, false);
    EXPECT_EQ(dst->ReadPixel(0, 0), src->ReadPixel(2, 1));
    EXPECT_EQ(dst->ReadPixel(1, 2), src->ReadPixel(3, 3));
    EXPECT_EQ(dst->ReadPixel(2, 0), 0u);
    EXPECT_EQ(dst->ReadPixel(0, 3), 0u);
    // Over the right and bottom edges: cut there.
    dst->FillColor(0);
    dst->DrawRect(8, 7, TRect{0, 0, 4, 4}, src, false);
    EXPECT_EQ(dst->ReadPixel(8, 7), src->ReadPixel(0, 0));
    EXPECT_EQ(dst->ReadPixel(9, 9), src->ReadPixel(1, 2));
    EXPECT_EQ(dst->ReadPixel(7, 7), 0u);
    // Beyond the far edge, empty or missing sources: nothing.
    dst->FillColor(0);
    const auto blank = dump(*dst);
    dst->DrawRect(11, 0, src->SurfaceRect(), src, false);
    dst->DrawRect(0, 11, src->SurfaceRect(), src, false);
    dst->DrawRect(10, 0, src->SurfaceRect(), src, false);  // x == Width
    dst->DrawRect(0, 10, src->SurfaceRect(), src, false);  // y == Height
    dst->DrawRect(2, 2, TRect{1, 1, 1, 3}, src, false);    // empty source
    dst->DrawRect(2, 2, TRect{0, 2, 4, 2}, src, false);
    dst->DrawRect(2, 2, TRect{4, 0, 8, 4}, src, false);    // right of the source
    dst->DrawRect(2, 2, src->SurfaceRect(), nullptr, false);
    dst->DrawRect(-4, 0, src->SurfaceRect(), src, false);  // clipped to nothing
    EXPECT_EQ(dump(*dst), blank);
}

TEST_P(BitDepth, CopiesFollowTheClippingRuleEverywhere) {
    TDirectDrawSurface* src = numbered(dev, 13, 9);
    src->SetKeyColor(src->ReadPixel(5, 4));
    TDirectDrawSurface* dst = filled(dev, 11, 8, 0);
    std::mt19937 rng(7);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        dst->FillColor(0);
        const int l = pick(-4, 15), t = pick(-4, 11);
        const TRect S{l, t, l + pick(0, 12), t + pick(0, 10)};
        const int x = pick(-15, 13), y = pick(-12, 10);
        const bool transparent = round % 2 == 1;
        const auto expected = expectedCopy(*dst, x, y, S, *src, transparent);
        dst->DrawRect(x, y, S, src, transparent);
        ASSERT_EQ(dump(*dst), expected)
            << "x " << x << " y " << y << " S " << S.Left << "," << S.Top << "," << S.Right << ","
            << S.Bottom << (transparent ? " keyed" : "");
    }
}

TEST_P(BitDepth, KeyedCopySkipsKeyPixels) {
    const std::uint32_t key = wide() ? 0x00FF00FFu : 63519u, ink = wide() ? 0x00123456u : 0x1234u;
    TDirectDrawSurface* sprite = filled(dev, 40, 3, key);  // wider than one vector of pixels
    for (int x = 0; x < 40; x += 3) setRaw(sprite->PixelsForWrite(), x, 1, ink);
    sprite->SetKeyColor(key);
    TDirectDrawSurface* back = filled(dev, 50, 5, 7);
    back->DrawRect(1, 1, sprite->SurfaceRect(), sprite, true);
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(back->ReadPixel(x + 1, 1), 7u);
        EXPECT_EQ(back->ReadPixel(x + 1, 2), x % 3 == 0 ? ink : 7u) << x;
    }
    // Without the flag every pixel is copied.
    back->DrawRect(1, 1, sprite->SurfaceRect(), sprite, false);
    EXPECT_EQ(back->ReadPixel(1, 1), key);
    EXPECT_EQ(back->ReadPixel(2, 2), key);
}

TEST_P(BitDepth, KeyChangesAndPixelChangesShowInTheNextKeyedCopy) {
    TDirectDrawSurface* sprite = numbered(dev, 20, 2);
    TDirectDrawSurface* back = filled(dev, 20, 2, 0);
    auto keyedCopy = [&] {
        back->FillColor(0);
        back->Draw(0, 0, sprite, true);
    };
    sprite->SetKeyColor(sprite->ReadPixel(0, 0));
    keyedCopy();
    EXPECT_EQ(back->ReadPixel(0, 0), 0u);
    EXPECT_EQ(back->ReadPixel(1, 0), sprite->ReadPixel(1, 0));
    sprite->SetKeyColor(sprite->ReadPixel(1, 0));
    keyedCopy();
    EXPECT_EQ(back->ReadPixel(0, 0), sprite->ReadPixel(0, 0));
    EXPECT_EQ(back->ReadPixel(1, 0), 0u);
    sprite->FillColor(sprite->KeyColor());
    keyedCopy();
    EXPECT_EQ(dump(*back), std::vector<std::uint32_t>(40, 0u));
}

TEST_P(BitDepth, CopyOntoItself) {
    TDirectDrawSurface* s = numbered(dev, 6, 6);
    const auto before = dump(*s);
    s->DrawRect(1, 1, TRect{0, 0, 5, 5}, s, false);
    for (int y = 1; y < 6; ++y)
        for (int x = 1; x < 6; ++x) EXPECT_EQ(s->ReadPixel(x, y), before[std::size_t((y - 1) * 6 + x - 1)]);
}

TEST_P(BitDepth, FillShowsWhereverThePixelsAreUsed) {
    TDirectDrawSurface* src = numbered(dev, 8, 4);
    TDirectDrawSurface* dst = filled(dev, 8, 4, 9);
    // Whole-surface opaque copy after a fill: the copy wins everywhere.
    dst->Draw(0, 0, src, false);
    EXPECT_EQ(dump(*dst), dump(*src));
    // Partial copy after a fill: the fill stays around it.
    dst->FillColor(9);
    dst->DrawRect(2, 1, TRect{0, 0, 2, 2}, src, false);
    EXPECT_EQ(dst->ReadPixel(0, 0), 9u);
    EXPECT_EQ(dst->ReadPixel(2, 1), src->ReadPixel(0, 0));
    EXPECT_EQ(dst->ReadPixel(7, 3), 9u);
    // Keyed whole-surface copy: key pixels keep the fill.
    src->SetKeyColor(src->ReadPixel(3, 2));
    dst->FillColor(9);
    dst->Draw(0, 0, src, true);
    EXPECT_EQ(dst->ReadPixel(3, 2), 9u);
    EXPECT_EQ(dst->ReadPixel(4, 2), src->ReadPixel(4, 2));
    // A filled surface as the source, and raw access.
    src->FillColor(5);
    dst->Draw(0, 0, src, false);
    EXPECT_EQ(dst->ReadPixel(6, 1), 5u);
    dst->FillColor(6);
    const PixelView v = dst->Pixels();
    EXPECT_EQ(wide() ? reinterpret_cast<const std::uint32_t*>(v.pixels)[3]
                     : reinterpret_cast<const std::uint16_t*>(v.pixels)[3], 6u);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitDepth, ::testing::Values(32, 16),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(SurfaceCopies, SurfacesOfTheOtherFormatAreConverted) {
    TDirectDraw wide(32), narrow(16);
    TDirectDrawSurface* dst = filled(wide, 2, 1, 0);
    dst->Draw(0, 0, filled(narrow, 2, 1, 63519), false);
    EXPECT_EQ(dst->ReadPixel(1, 0) & 0x00F8F8F8u, 0x00F800F8u);
}
