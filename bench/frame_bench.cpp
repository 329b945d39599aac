// One frame of the scene view drawn into a 640x430 back buffer, without the
// present: clear, backdrop, 100 colour-keyed sprites, 200 dashed outlines and
// three number lines. The memcpy of the back buffer's bytes is the yardstick.
#include <benchmark/benchmark.h>

#include <QColor>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/canvas.h"
#include "display/surface.h"

namespace {

constexpr int kViewW = 640, kViewH = 430;
constexpr int kFrameW = 64, kFrames = 4;
constexpr int kSprites = 100, kSectors = 100;

struct Box {
    int x, y, w, h;
};

struct Scene {
    std::unique_ptr<slv::TDirectDraw> device;
    slv::TDirectDrawSurface* back = nullptr;
    slv::TDirectDrawSurface* backdrop = nullptr;
    slv::TDirectDrawSurface* strip = nullptr;
    std::vector<Box> sprites, sectors;
    int tick = 0;
};

QImage backdropPicture() {
    QImage img(kViewW, kViewH, QImage::Format_RGB32);
    for (int y = 0; y < kViewH; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kViewW; ++x) row[x] = qRgb(x * 255 / kViewW, y * 255 / kViewH, (x ^ y) & 255);
    }
    return img;
}

// A strip of four 64x64 frames: a figure on a magenta background.
QImage stripPicture() {
    QImage img(kFrameW * kFrames, 64, QImage::Format_RGB32);
    img.fill(qRgb(255, 0, 255));
    QPainter p(&img);
    for (int f = 0; f < kFrames; ++f) {
        p.setBrush(QColor(40 + f * 50, 200 - f * 40, 90));
        p.setPen(Qt::NoPen);
        p.drawEllipse(f * kFrameW + 8 + f * 2, 6, 44, 52);
        p.fillRect(f * kFrameW + 28, 2, 8, 60, QColor(20, 20, 20));
    }
    return img;
}

Scene makeScene(int bits) {
    Scene s;
    s.device = std::make_unique<slv::TDirectDraw>(bits);
    s.back = s.device->CreateSurface();
    s.back->SetSize(kViewW, kViewH);
    s.backdrop = s.device->CreateSurface();
    s.backdrop->LoadFromImage(backdropPicture());
    s.strip = s.device->CreateSurface();
    s.strip->LoadFromImage(stripPicture());
    s.strip->SetKeyColor(s.strip->ReadPixel(0, 0));
    std::uint32_t seed = 12345;
    auto next = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % std::uint32_t(n));
    };
    for (int i = 0; i < kSprites; ++i) s.sprites.push_back({next(kViewW - 32), next(kViewH - 32), kFrameW, 64});
    for (int i = 0; i < kSectors; ++i)
        s.sectors.push_back({next(kViewW - 40), next(kViewH - 40), 20 + next(200), 20 + next(150)});
    return s;
}

void drawTick(Scene& s) {
    slv::TDirectDrawSurface& back = *s.back;
    back.FillColor(0);
    back.DrawRect(0, 0, s.backdrop->SurfaceRect(), s.backdrop, false);
    for (int i = 0; i < kSprites; ++i) {
        const int pos = (i + s.tick) % kFrames;  // 0-based frame of the strip
        const Box& b = s.sprites[std::size_t(i)];
        back.DrawRect(b.x, b.y, slv::TRect{pos * kFrameW, 0, (pos + 1) * kFrameW, 64}, s.strip, true);
    }
    slv::TDirectDrawSurfaceCanvas& c = back.Canvas();
    c.SetFontColor(0xFFFFFF);
    c.SetBrushStyle(slv::TBrushStyle::bsClear);
    c.SetPenStyle(slv::TPenStyle::psDash);
    c.SetPenColor(0xFFFFFF);
    c.SetPenColor(0x960A46);
    for (const Box& r : s.sectors) c.Rectangle(r.x, r.y, r.x + r.w, r.y + r.h);
    c.SetPenColor(0x46640A);
    for (const Box& r : s.sprites) c.Rectangle(r.x, r.y, r.x + r.w, r.y + r.h);
    c.TextOut(0, 0, std::to_string(60 + s.tick % 7));
    c.TextOut(0, 15, std::to_string(3));
    c.TextOut(0, 30, std::to_string(-1));
    c.ReleaseCanvas();
    ++s.tick;
}

void BM_DisplayFrame(benchmark::State& state) {
    Scene s = makeScene(int(state.range(0)));
    drawTick(s);  // first use encodes the keyed strip
    for (auto _ : state) {
        drawTick(s);
        benchmark::DoNotOptimize(s.back->Pixels().pixels);
        benchmark::ClobberMemory();
    }
}

void BM_DisplayMemcpy(benchmark::State& state) {
    const std::size_t bytes = std::size_t(kViewW) * kViewH * std::size_t(state.range(0) / 8);
    std::vector<std::uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(bytes));
}

}  // namespace

BENCHMARK(BM_DisplayFrame)->Arg(32)->Arg(16)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayMemcpy)->Arg(32)->Arg(16)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
