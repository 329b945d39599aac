#include <gtest/gtest.h>

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

// A surface whose every pixel holds a different value (1-based, so none is 0).
TDirectDrawSurface* numbered(TDirectDraw& dev, int w, int h) {
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(w, h);
    PixelView v = s->PixelsForWrite();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t value = std::uint32_t(y * w + x + 1);
            if (v.bytesPerPixel == 4)
                reinterpret_cast<std::uint32_t*>(v.pixels + y * v.pitch)[x] = value;
            else
                reinterpret_cast<std::uint16_t*>(v.pixels + y * v.pitch)[x] = std::uint16_t(value);
        }
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

std::string writeBmp(const QTemporaryDir& dir, const char* name, const QImage& image) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path, "BMP"));
    return path.toStdString();
}

QImage magentaAndGreen() {
    QImage img(4, 2, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    img.setPixel(1, 0, qRgb(0, 255, 0));
    img.setPixel(2, 1, qRgb(255, 255, 255));
    return img;
}

class BitDepth : public ::testing::TestWithParam<int> {};

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
    std::vector<SurfaceHandle> old;
    for (int i = 0; i < 5; ++i) old.push_back(first->CreateSurface()->handle());
    first.reset();
    TDirectDraw second(16);
    std::vector<SurfaceHandle> fresh;
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

TEST_P(BitDepth, NewSurfaceHasNoPixels) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    EXPECT_EQ(s->Width(), 0);
    EXPECT_EQ(s->Height(), 0);
    EXPECT_EQ(s->SurfaceRect(), (TRect{0, 0, 0, 0}));
    EXPECT_EQ(s->ReadPixel(0, 0), 0u);
    s->FillColor(5);  // nothing to fill, nothing raised
    EXPECT_EQ(s->BitCount(), GetParam());
}

TEST_P(BitDepth, FillAndReadBack) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(7, 3);
    EXPECT_EQ(s->SurfaceRect(), (TRect{0, 0, 7, 3}));
    const std::uint32_t value = GetParam() == 32 ? 0x00123456u : 0x1234u;
    s->FillColor(value);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) EXPECT_EQ(s->ReadPixel(x, y), value);
    s->FillColor(0);
    EXPECT_EQ(s->ReadPixel(6, 2), 0u);
    s->FillColor(GetParam() == 32 ? 0x00ABABABu : 0xABABu);  // equal bytes
    EXPECT_EQ(s->ReadPixel(3, 1), GetParam() == 32 ? 0x00ABABABu : 0xABABu);
}

TEST_P(BitDepth, ReadPixelOutsideIsZero) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(5, 4);
    s->FillColor(0x77);
    EXPECT_EQ(s->ReadPixel(4, 3), 0x77u);
    EXPECT_EQ(s->ReadPixel(5, 0), 0u);   // x == Width
    EXPECT_EQ(s->ReadPixel(0, 4), 0u);   // y == Height
    EXPECT_EQ(s->ReadPixel(-1, 0), 0u);
    EXPECT_EQ(s->ReadPixel(0, -1), 0u);
}

TEST_P(BitDepth, ZeroSizeReleasesPixels) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(3, 3);
    s->SetSize(0, 3);
    EXPECT_FALSE(s->hasPixels());
    EXPECT_EQ(s->Width(), 0);
    EXPECT_EQ(s->Height(), 0);
}

TEST(SurfacePixels, ThirtyTwoBitValuesKeepTheTopByteClear) {
    TDirectDraw dev(32);
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetSize(2, 2);
    s->FillColor(0xFF00FF00u);
    EXPECT_EQ(s->ReadPixel(1, 1), 0x0000FF00u);
    s->SetKeyColor(0xFFFF00FFu);
    EXPECT_EQ(s->KeyColor(), 0x00FF00FFu);
    EXPECT_EQ(dev.rgbToPixel(255, 0, 255), 0x00FF00FFu);
    EXPECT_EQ(TDirectDraw(16).rgbToPixel(255, 0, 255), 63519u);
}

// ---------------------------------------------------------------- loading

TEST_P(BitDepth, LoadBitmapGivesRawPixelsInTheDeviceFormat) {
    QTemporaryDir dir;
    const std::string path = writeBmp(dir, "purple.bmp", magentaAndGreen());
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->SetKeyColor(3);
    s->LoadBitmapFile(path);
    EXPECT_EQ(s->Width(), 4);
    EXPECT_EQ(s->Height(), 2);
    EXPECT_EQ(s->KeyColor(), 0u);  // reset by the load
    if (GetParam() == 16) {
        EXPECT_EQ(s->ReadPixel(0, 0), 63519u);
        EXPECT_EQ(s->ReadPixel(1, 0), 0x07E0u);
        EXPECT_EQ(s->ReadPixel(2, 1), 0xFFFFu);
    } else {
        EXPECT_EQ(s->ReadPixel(0, 0), 0x00FF00FFu);
        EXPECT_EQ(s->ReadPixel(1, 0), 0x0000FF00u);
        EXPECT_EQ(s->ReadPixel(2, 1), 0x00FFFFFFu);
    }
}

TEST(SurfaceLoad, MissingFile) {
    TDirectDraw dev(32);
    TDirectDrawSurface* s = dev.CreateSurface();
    QTemporaryDir dir;
    const std::string path = dir.filePath("nothing.bmp").toStdString();
    try {
        s->LoadBitmapFile(path);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
}

TEST(SurfaceLoad, UnknownExtension) {
    TDirectDraw dev(32);
    TDirectDrawSurface* s = dev.CreateSurface();
    QTemporaryDir dir;
    const QString path = dir.filePath("notes.xyz");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("hello");
    f.close();
    try {
        s->LoadBitmapFile(path.toStdString());
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
    }
}

TEST_P(BitDepth, BrokenBitmapKeepsTheOldPixels) {
    QTemporaryDir dir;
    const std::string good = writeBmp(dir, "good.bmp", magentaAndGreen());
    const QString badPath = dir.filePath("bad.bmp");
    {
        QFile f(badPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM this is no bitmap at all, only some bytes");
    }
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = dev.CreateSurface();
    s->LoadBitmapFile(good);
    const std::uint32_t before = s->ReadPixel(1, 0);
    s->SetKeyColor(s->ReadPixel(0, 0));
    for (const std::string& bad :
         {badPath.toStdString(), dir.filePath("gone.bmp").toStdString(), std::string("x.unknownext")}) {
        EXPECT_THROW(s->LoadBitmapFile(bad), Error);
        EXPECT_EQ(s->Width(), 4);
        EXPECT_EQ(s->Height(), 2);
        EXPECT_EQ(s->ReadPixel(1, 0), before);
        EXPECT_EQ(s->KeyColor(), s->ReadPixel(0, 0));
    }
    try {
        s->LoadBitmapFile(badPath.toStdString());
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid");
    }
}

TEST(SurfaceLoad, KeyFromOnePictureMatchesPixelsOfAnother) {
    QTemporaryDir dir;
    const std::string purple = writeBmp(dir, "purple.bmp", magentaAndGreen());
    QImage sprite(3, 1, QImage::Format_RGB32);
    sprite.setPixel(0, 0, qRgb(255, 0, 255));
    sprite.setPixel(1, 0, qRgb(10, 20, 30));
    sprite.setPixel(2, 0, qRgb(255, 0, 255));
    const std::string spritePath = writeBmp(dir, "sprite.bmp", sprite);
    for (int bits : {32, 16}) {
        TDirectDraw dev(bits);
        TDirectDrawSurface* probe = dev.CreateSurface();
        probe->LoadBitmapFile(purple);
        const std::uint32_t key = probe->ReadPixel(0, 0);
        dev.FreeSurface(probe->handle());
        TDirectDrawSurface* s = dev.CreateSurface();
        s->LoadBitmapFile(spritePath);
        s->SetKeyColor(key);
        TDirectDrawSurface* back = dev.CreateSurface();
        back->SetSize(3, 1);
        back->FillColor(1);
        back->Draw(0, 0, s, true);
        EXPECT_EQ(back->ReadPixel(0, 0), 1u) << bits;
        EXPECT_NE(back->ReadPixel(1, 0), 1u) << bits;
        EXPECT_EQ(back->ReadPixel(2, 0), 1u) << bits;
    }
}

// ---------------------------------------------------------------- copies

TEST_P(BitDepth, CopyLeftOfAndAboveIsClipped) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* src = numbered(dev, 4, 4);
    TDirectDrawSurface* dst = dev.CreateSurface();
    dst->SetSize(10, 10);
    dst->FillColor(0);
    dst->DrawRect(-2, -1, src->SurfaceRect(), src, false);
    // Source column 2.., row 1.. lands at (0, 0).
    EXPECT_EQ(dst->ReadPixel(0, 0), src->ReadPixel(2, 1));
    EXPECT_EQ(dst->ReadPixel(1, 2), src->ReadPixel(3, 3));
    EXPECT_EQ(dst->ReadPixel(2, 0), 0u);
    EXPECT_EQ(dst->ReadPixel(0, 3), 0u);
}

TEST_P(BitDepth, CopyBeyondTheFarEdgeDoesNothing) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* src = numbered(dev, 4, 4);
    TDirectDrawSurface* dst = dev.CreateSurface();
    dst->SetSize(10, 10);
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

TEST_P(BitDepth, CopyOverTheRightEdgeIsCutThere) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* src = numbered(dev, 4, 4);
    TDirectDrawSurface* dst = dev.CreateSurface();
    dst->SetSize(10, 10);
    dst->FillColor(0);
    dst->DrawRect(8, 7, TRect{0, 0, 4, 4}, src, false);
    EXPECT_EQ(dst->ReadPixel(8, 7), src->ReadPixel(0, 0));
    EXPECT_EQ(dst->ReadPixel(9, 9), src->ReadPixel(1, 2));
    EXPECT_EQ(dst->ReadPixel(7, 7), 0u);
}

TEST_P(BitDepth, CopiesFollowTheClippingRuleEverywhere) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* src = numbered(dev, 13, 9);
    src->SetKeyColor(src->ReadPixel(5, 4));
    TDirectDrawSurface* dst = dev.CreateSurface();
    dst->SetSize(11, 8);
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
    TDirectDraw dev(GetParam());
    const std::uint32_t key = GetParam() == 16 ? 63519u : 0x00FF00FFu;
    const std::uint32_t ink = GetParam() == 16 ? 0x1234u : 0x00123456u;
    TDirectDrawSurface* sprite = dev.CreateSurface();
    sprite->SetSize(40, 3);  // wider than one vector of pixels
    sprite->FillColor(key);
    {
        PixelView v = sprite->PixelsForWrite();
        for (int x = 0; x < 40; x += 3) {
            if (v.bytesPerPixel == 4)
                reinterpret_cast<std::uint32_t*>(v.pixels + v.pitch)[x] = ink;
            else
                reinterpret_cast<std::uint16_t*>(v.pixels + v.pitch)[x] = std::uint16_t(ink);
        }
    }
    sprite->SetKeyColor(key);
    TDirectDrawSurface* back = dev.CreateSurface();
    back->SetSize(50, 5);
    back->FillColor(7);
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
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* sprite = numbered(dev, 20, 2);
    sprite->SetKeyColor(sprite->ReadPixel(0, 0));
    TDirectDrawSurface* back = dev.CreateSurface();
    back->SetSize(20, 2);
    back->FillColor(0);
    back->Draw(0, 0, sprite, true);
    EXPECT_EQ(back->ReadPixel(0, 0), 0u);
    EXPECT_EQ(back->ReadPixel(1, 0), sprite->ReadPixel(1, 0));

    sprite->SetKeyColor(sprite->ReadPixel(1, 0));
    back->FillColor(0);
    back->Draw(0, 0, sprite, true);
    EXPECT_EQ(back->ReadPixel(0, 0), sprite->ReadPixel(0, 0));
    EXPECT_EQ(back->ReadPixel(1, 0), 0u);

    sprite->FillColor(sprite->KeyColor());
    back->FillColor(0);
    back->Draw(0, 0, sprite, true);
    EXPECT_EQ(dump(*back), std::vector<std::uint32_t>(40, 0u));
}

TEST_P(BitDepth, CopyOntoItself) {
    TDirectDraw dev(GetParam());
    TDirectDrawSurface* s = numbered(dev, 6, 6);
    const auto before = dump(*s);
    s->DrawRect(1, 1, TRect{0, 0, 5, 5}, s, false);
    for (int y = 1; y < 6; ++y)
        for (int x = 1; x < 6; ++x)
            EXPECT_EQ(s->ReadPixel(x, y), before[std::size_t((y - 1) * 6 + x - 1)]);
}

TEST(SurfaceCopies, SurfacesOfTheOtherFormatAreConverted) {
    TDirectDraw wide(32), narrow(16);
    TDirectDrawSurface* src = narrow.CreateSurface();
    src->SetSize(2, 1);
    src->FillColor(63519);
    TDirectDrawSurface* dst = wide.CreateSurface();
    dst->SetSize(2, 1);
    dst->FillColor(0);
    dst->Draw(0, 0, src, false);
    EXPECT_EQ(dst->ReadPixel(1, 0) & 0x00F8F8F8u, 0x00F800F8u);
}

INSTANTIATE_TEST_SUITE_P(Formats, BitDepth, ::testing::Values(32, 16),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(SurfaceFill, FillShowsWhereverThePixelsAreUsed) {
    for (int bits : {32, 16}) {
        TDirectDraw dev(bits);
        TDirectDrawSurface* src = numbered(dev, 8, 4);
        TDirectDrawSurface* dst = dev.CreateSurface();
        dst->SetSize(8, 4);
        // Whole-surface opaque copy after a fill: the copy wins everywhere.
        dst->FillColor(9);
        dst->Draw(0, 0, src, false);
        EXPECT_EQ(dump(*dst), dump(*src)) << bits;
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
        const std::uint32_t raw = bits == 32 ? reinterpret_cast<const std::uint32_t*>(v.pixels)[3]
                                             : reinterpret_cast<const std::uint16_t*>(v.pixels)[3];
        EXPECT_EQ(raw, 6u);
    }
}
