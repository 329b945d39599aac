#include <gtest/gtest.h>

#include <cstring>
#include <vector>

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
    void column(int x, std::uint32_t v) {
        for (int y = 0; y < h; ++y) set(x, y, v);
    }
    int detect(std::uint32_t key) const { return calctotpos(bytes.data(), pitch, bpp, w, h, key); }
};

struct Format {
    int bpp;
    std::uint32_t key;
    std::uint32_t paint;
};

class FrameCount : public ::testing::TestWithParam<Format> {};

// A strip of `frames` frames whose left columns are transparent.
Picture strip(const Format& f, int w, int h, int frames) {
    Picture p(w, h, f.bpp, f.paint);
    for (int k = 0; k < frames; ++k) p.column(k * (w / frames), f.key);
    return p;
}

}  // namespace

TEST(FrameCandidates, FortyWideTriesTwentyDownToTwo) {
    EXPECT_EQ(frameCandidates(40), (std::vector<int>{20, 10, 8, 5, 4, 2}));
}

TEST(FrameCandidates, StartBelowThirtySevenAndFall) {
    EXPECT_EQ(frameCandidates(320), (std::vector<int>{32, 20, 16, 10, 8, 5, 4, 2}));
    EXPECT_EQ(frameCandidates(72).front(), 36);
    EXPECT_TRUE(frameCandidates(37).empty());  // 37 frames of 1 is too many
    EXPECT_TRUE(frameCandidates(1).empty());
    EXPECT_TRUE(frameCandidates(0).empty());
}

TEST_P(FrameCount, EightFramesOfForty) {
    EXPECT_EQ(strip(GetParam(), 320, 50, 8).detect(GetParam().key), 8);
}

TEST_P(FrameCount, OpaquePictureIsOneFrame) {
    const Format f = GetParam();
    EXPECT_EQ(Picture(320, 40, f.bpp, f.paint).detect(f.key), 1);
    EXPECT_EQ(Picture(64, 50, f.bpp, f.paint).detect(f.key), 1);
}

TEST_P(FrameCount, OnlyTheCandidateWhoseColumnsAreClearPasses) {
    const Format f = GetParam();
    // Columns 0, 8, 16, 24, 32 clear: 20, 10 and 8 frames hit paint, 5 passes.
    EXPECT_EQ(strip(f, 40, 50, 5).detect(f.key), 5);
    // Columns 0 and 20 clear: every larger candidate fails, 2 passes.
    EXPECT_EQ(strip(f, 40, 50, 2).detect(f.key), 2);
    // Columns 0, 10, 20, 30 clear: 4 passes before 2 is tried.
    EXPECT_EQ(strip(f, 40, 50, 4).detect(f.key), 4);
    // Every column clear: the first candidate, 20, passes.
    EXPECT_EQ(Picture(40, 50, f.bpp, f.key).detect(f.key), 20);
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

TEST_P(FrameCount, RowPaddingIsNotPartOfThePicture) {
    const Format f = GetParam();
    Picture p(320, 50, f.bpp, f.paint, 12);
    for (int k = 0; k < 8; ++k) p.column(k * 40, f.key);
    EXPECT_EQ(p.detect(f.key), 8);
}

TEST_P(FrameCount, ShortPicturesPassWithFewPixels) {
    const Format f = GetParam();
    // 10 rows: 2 frames' edge columns hold 20 opaque pixels, under the bound.
    EXPECT_EQ(Picture(40, 10, f.bpp, f.paint).detect(f.key), 2);
}

INSTANTIATE_TEST_SUITE_P(PixelFormats, FrameCount,
                         ::testing::Values(Format{4, 0x00FF00FFu, 0x00336699u},
                                           Format{2, 0xF81Fu, 0x2945u}),
                         [](const auto& info) { return info.param.bpp == 4 ? "Bits32" : "Bits16"; });

TEST(FrameCount32, TopByteIsNotColour) {
    Picture p(320, 50, 4, 0xFF336699u);
    for (int k = 0; k < 8; ++k) p.column(k * 40, 0xFFFF00FFu);
    EXPECT_EQ(p.detect(0x00FF00FFu), 8);
    EXPECT_EQ(p.detect(0x7FFF00FFu), 8);
}

TEST(FrameCount16, OnlyTheLowSixteenBitsAreCompared) {
    Picture p(320, 50, 2, 0x2945u);
    for (int k = 0; k < 8; ++k) p.column(k * 40, 0xF81Fu);
    EXPECT_EQ(p.detect(0xABCDF81Fu), 8);
    EXPECT_EQ(p.detect(0xF81Eu), 1);
}

TEST(FrameCountInput, BadFormatsAreRefused) {
    Picture p(40, 4, 4, 0);
    EXPECT_THROW(calctotpos(p.bytes.data(), p.pitch, 3, 40, 4, 0), Error);
    EXPECT_THROW(calctotpos(p.bytes.data(), 40 * 4 - 1, 4, 40, 4, 0), Error);
    EXPECT_THROW(calctotpos(nullptr, 160, 4, 40, 4, 0), Error);
    try {
        calctotpos(p.bytes.data(), p.pitch, 1, 40, 4, 0);
        FAIL() << "8-bit pixels accepted";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Unsupported pixel format: 8 bits per pixel");
    }
}

TEST(FrameCountInput, EmptyPicturesAreOneFrame) {
    EXPECT_EQ(calctotpos(nullptr, 0, 4, 0, 0, 0), 1);
    Picture p(1, 50, 4, 0);
    EXPECT_EQ(p.detect(0), 1);
}
