// Frame-count detection on a wide strip: 36 frames of 80 by 64 pixels, each
// with a transparent left column, so every candidate from 36 down is tried
// before the right one is found.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "model/framecount.h"

namespace {

constexpr int kWidth = 2880;
constexpr int kHeight = 64;
constexpr int kFrameWidth = 80;  // 36 frames

template <typename Pixel>
std::vector<std::uint8_t> makeStrip(Pixel key, Pixel paint) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(kWidth) * kHeight * sizeof(Pixel));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            Pixel v = (x % kFrameWidth == 0) ? key : static_cast<Pixel>(paint + (x ^ y));
            if (v == key && x % kFrameWidth != 0) v = paint;
            std::memcpy(&buf[(static_cast<std::size_t>(y) * kWidth + x) * sizeof(Pixel)], &v,
                        sizeof v);
        }
    return buf;
}

void BM_detectFrameCount_32bpp(benchmark::State& state) {
    const std::uint32_t key = 0xFF00FF;
    auto strip = makeStrip<std::uint32_t>(key, 0x203040);
    for (auto _ : state) {
        int n = slv::detectFrameCount(strip.data(), kWidth * 4, 4, kWidth, kHeight, key);
        if (n != 36) state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_detectFrameCount_32bpp);

void BM_detectFrameCount_16bpp(benchmark::State& state) {
    const std::uint16_t key = 0xF81F;  // magenta in 5-6-5
    auto strip = makeStrip<std::uint16_t>(key, 0x2104);
    for (auto _ : state) {
        int n = slv::detectFrameCount(strip.data(), kWidth * 2, 2, kWidth, kHeight, key);
        if (n != 36) state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(n);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_detectFrameCount_16bpp);

// The same strip with 8 frames of 360: the 36, 32, ... candidates all fail
// on opaque columns first.
void BM_detectFrameCount_8frames_32bpp(benchmark::State& state) {
    const std::uint32_t key = 0xFF00FF;
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint32_t v = (x % 360 == 0) ? key : 0x00808080u;
            std::memcpy(&buf[(static_cast<std::size_t>(y) * kWidth + x) * 4], &v, 4);
        }
    for (auto _ : state) {
        int n = slv::detectFrameCount(buf.data(), kWidth * 4, 4, kWidth, kHeight, key);
        if (n != 8) state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_detectFrameCount_8frames_32bpp);

}  // namespace
