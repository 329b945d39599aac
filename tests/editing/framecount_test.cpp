#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "common/child_process.h"
#include "common/error_text.h"
#include "common/tempdir.h"
#include "model/errors.h"
#include "model/framecount.h"

using namespace slv;

namespace {

// A picture in raw pixel values, 2 or 4 bytes a pixel, rows `pitch` apart.
struct Picture {
    int w, h, bpp, pitch;
    std::vector<std::uint8_t> bytes;

    Picture(int w_, int h_, int bpp_, std::uint32_t fill, int padding = 0)
        : w(w_), h(h_), bpp(bpp_), pitch(w_ * bpp_ + padding),
          bytes(static_cast<std::size_t>(pitch) * h_, 0xAB) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) set(x, y, fill);
    }
    void set(int x, int y, std::uint32_t v) {
        std::uint8_t* p = &bytes[static_cast<std::size_t>(y) * pitch + static_cast<std::size_t>(x) * bpp];
        if (bpp == 2) {
            auto s = static_cast<std::uint16_t>(v);
            std::memcpy(p, &s, 2);
        } else {
            std::memcpy(p, &v, 4);
        }
    }
    int detect(std::uint32_t key) const { return detectFrameCount(bytes.data(), pitch, bpp, w, h, key); }
};

struct Format {
    int bpp;
    std::uint32_t key;
    std::uint32_t paint;
};

class FrameCount : public ::testing::TestWithParam<Format> {};

// A strip of `frames` frames whose left columns are transparent.
Picture strip(const Format& f, int w, int h, int frames, int padding = 0) {
    Picture p(w, h, f.bpp, f.paint, padding);
    for (int k = 0; k < frames; ++k)
        for (int y = 0; y < h; ++y) p.set(k * (w / frames), y, f.key);
    return p;
}

}  // namespace

TEST_P(FrameCount, StripsAndOpaquePictures) {
    const Format f = GetParam();
    EXPECT_EQ(strip(f, 320, 50, 8).detect(f.key), 8);
    EXPECT_EQ(strip(f, 320, 50, 8, 12).detect(f.key), 8);  // row padding is not part of the picture
    EXPECT_EQ(Picture(320, 40, f.bpp, f.paint).detect(f.key), 1);  // opaque: one frame
    EXPECT_EQ(Picture(64, 50, f.bpp, f.paint).detect(f.key), 1);
    // 10 rows: 2 frames' edge columns hold 20 opaque pixels, under the bound.
    EXPECT_EQ(Picture(40, 10, f.bpp, f.paint).detect(f.key), 2);
}

TEST_P(FrameCount, OnlyTheCandidateWhoseColumnsAreClearPasses) {
    const Format f = GetParam();
    // 5: columns 0, 8, .. 32 clear, so 20, 10 and 8 frames hit paint. 2: every
    // larger candidate fails. 4: columns 0, 10, 20, 30 pass before 2 is tried.
    for (int frames : {5, 2, 4}) EXPECT_EQ(strip(f, 40, 50, frames).detect(f.key), frames);
    EXPECT_EQ(Picture(40, 50, f.bpp, f.key).detect(f.key), 20);  // all clear: the first, 20
}

TEST_P(FrameCount, FewerThanFortyOpaqueEdgePixelsAreTolerated) {
    const Format f = GetParam();
    Picture p = strip(f, 320, 50, 8);
    for (int i = 0; i < 39; ++i) p.set((i % 8) * 40, i % 50, f.paint);
    EXPECT_EQ(p.detect(f.key), 8);
    p.set(0, 49, f.paint);  // the 40th
    // 8 is refused now; 4 frames of 80 use every other edge column, which
    // hold only 21 of the opaque pixels.
    EXPECT_EQ(p.detect(f.key), 4);
}

TEST_P(FrameCount, FullyClearWideStripTakesThirtySix) {
    const Format f = GetParam();
    EXPECT_EQ(Picture(2880, 64, f.bpp, f.key).detect(f.key), 36);
    EXPECT_EQ(strip(f, 2880, 64, 36).detect(f.key), 36);
    EXPECT_EQ(Picture(37, 64, f.bpp, f.key).detect(f.key), 1);
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, FrameCount,
                         ::testing::Values(Format{4, 0x00FF00FFu, 0x00336699u},
                                           Format{2, 0xF81Fu, 0x2945u}),
                         [](const auto& info) { return info.param.bpp == 4 ? "Bits32" : "Bits16"; });

TEST(FrameCountKey, OnlyColourBitsAreCompared) {
    // 32 bits: the top byte is not colour.
    const Picture p32 = strip(Format{4, 0xFFFF00FFu, 0xFF336699u}, 320, 50, 8);
    EXPECT_EQ(p32.detect(0x00FF00FFu), 8);
    EXPECT_EQ(p32.detect(0x7FFF00FFu), 8);
    // 16 bits: only the low sixteen bits count.
    const Picture p16 = strip(Format{2, 0xF81Fu, 0x2945u}, 320, 50, 8);
    EXPECT_EQ(p16.detect(0xABCDF81Fu), 8);
    EXPECT_EQ(p16.detect(0xF81Eu), 1);
}

TEST(FrameCountInput, BadFormatsAreRefusedAndEmptyPicturesAreOneFrame) {
    Picture p(40, 4, 4, 0);
    EXPECT_THROW(detectFrameCount(p.bytes.data(), p.pitch, 3, 40, 4, 0), Error);
    EXPECT_THROW(detectFrameCount(p.bytes.data(), 40 * 4 - 1, 4, 40, 4, 0), Error);
    EXPECT_THROW(detectFrameCount(nullptr, 160, 4, 40, 4, 0), Error);
    EXPECT_EQ(errorOf([&] { detectFrameCount(p.bytes.data(), p.pitch, 1, 40, 4, 0); }),
              "Unsupported pixel format: 8 bits per pixel");
    EXPECT_EQ(detectFrameCount(nullptr, 0, 4, 0, 0, 0), 1);
    EXPECT_EQ(Picture(1, 50, 4, 0).detect(0), 1);
}

// A FIFO among the bitmaps is left to the general loader at once, never waited on.
TEST(FrameCountFromFile, AFifoIsNotWaitedOn) {
    slvtest::TempDir d;
    const std::string fifo = d.file("strip.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(slvtest::inChild([&] {
                  const int n = slv::detectFrameCountFromFile(fifo, 4, 0xFF00FFu);
                  return n == 0 ? std::string() : "counted " + std::to_string(n) + " frames";
              }, {.timeoutSeconds = 3}),
              "");
}
