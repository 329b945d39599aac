// One tick of the scene view on a 640x430 back buffer, drawn by drawScene as
// the frame loop draws it: clear, backdrop, 100 colour-keyed sprites at
// their frames, 100 dashed sector outlines, 100 dashed sprite outlines, the
// selection marks and three number lines. The memcpy of the back buffer's
// bytes is the yardstick.
//   BM_DisplayFrame         the drawing, with the overlay cache the editor keeps
//   BM_DisplayFrameUncached the same without it
//   BM_DisplayFrameMoving   every sprite moves every tick, outlines on: the
//                           outlines change every frame
//   BM_DisplayFrameDrag     one sprite dragged, the others still
//   BM_DisplayFrameDragStop the longest tick of a drag that stops: three
//                           ticks of dragging, then eight still ones
//   BM_DisplayFrameDragStill one sprite dragged over sprites that do not
//                           animate (one-frame scenery): the frame is drawn
//                           again only where it changed
//   BM_DisplayTickPresent   drawing and present on a shown view (the
//                           platform's own: offscreen, or a display under
//                           QT_QPA_PLATFORM=xcb / wayland)
//   BM_DisplayPresentEveryFrame every frame drawn and shown, and a round trip
//                           to the display server after it, so the time
//                           includes the server taking the frame
//   BM_DisplayPresentDragStill the same for the drag over still sprites: only
//                           the part that changed goes to the display
//   BM_DisplayRoundTrip     the round trip alone, with nothing drawn or shown:
//                           the part of a present the editor cannot shorten
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display/scenewidget.h"
#include "display/scene.h"
#include "display/surface.h"

namespace {

constexpr int kViewW = 640, kViewH = 430;
constexpr int kFrameW = 64, kFrames = 4;
constexpr int kSprites = 100, kSectors = 100;

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

// The level and pictures of one scene on `device`; the target is made by
// the caller (a surface of its own, or a view's back buffer).
struct Scene {
    explicit Scene(slv::PixelDevice& device) {
        backdrop = device.createSurface();
        backdrop->loadImage(backdropPicture());
        strip = device.createSurface();
        strip->loadImage(stripPicture());
        strip->setColorKey(strip->pixelAt(0, 0));
        std::uint32_t seed = 12345;
        auto next = [&seed](int n) {
            seed = seed * 1103515245u + 12345u;
            return int((seed >> 8) % std::uint32_t(n));
        };
        level->stageCount = 1;
        level->openStage = 1;
        level->stage(1).spriteCount = kSprites;
        level->stage(1).sectorCount = kSectors;
        for (int n = 1; n <= kSprites; ++n) {
            slv::SpriteRec& r = level->sprite(n, 1);
            r.surface = strip->handle();
            r.x = next(kViewW - 32);
            r.y = next(kViewH - 32);
            r.w = kFrameW;
            r.h = 64;
            r.frameCount = kFrames;
            r.frame = 1 + n % kFrames;
        }
        for (int n = 1; n <= kSectors; ++n) {
            slv::SectorRec& r = level->sector(n, 1);
            r.x = next(kViewW - 40);
            r.y = next(kViewH - 40);
            r.w = 20 + next(200);
            r.h = 20 + next(150);
        }
        view.stage = 1;
        view.backdrop = backdrop;
        view.sectorOutlines = view.spriteOutlines = true;
        view.sectorColor = 0x960A46;
        view.spriteBoxColor = 0x46640A;
        view.selectedSprites = {3};
        view.selectedSectors = {5};
    }
    // One tick: the frame is drawn, then the sprites step on (unless still).
    std::vector<slv::PixelRect> tick(slv::Surface& target, const slv::PixelDevice& device, slv::SceneCache* c) {
        view.numbers = {QString::number(60 + ticks % 7), QStringLiteral("3"), QStringLiteral("-1")};
        std::vector<slv::PixelRect> changed = slv::drawScene(target, *level, device, view, c);
        ++ticks;
        if (still) return changed;
        for (int n = 1; n <= kSprites; ++n) {
            slv::SpriteRec& r = level->sprite(n, 1);
            r.frame = r.frame % kFrames + 1;
        }
        return changed;
    }
    // Sprite n one step along its own path, bouncing off the view's edges.
    void move(int n) {
        slv::SpriteRec& r = level->sprite(n, 1);
        const int dx = 1 + n % 3, dy = 1 + n % 2;
        const int phaseX = (ticks * dx + n * 37) % (2 * (kViewW - 32));
        const int phaseY = (ticks * dy + n * 53) % (2 * (kViewH - 32));
        r.x = phaseX < kViewW - 32 ? phaseX : 2 * (kViewW - 32) - phaseX;
        r.y = phaseY < kViewH - 32 ? phaseY : 2 * (kViewH - 32) - phaseY;
    }

    std::unique_ptr<slv::Level> level = std::make_unique<slv::Level>();
    slv::Surface* backdrop = nullptr;
    slv::Surface* strip = nullptr;
    slv::SceneView view;
    slv::SceneCache cache;
    int ticks = 0;
    bool still = false;  // the sprites keep their frames
};

void drawFrames(benchmark::State& state, bool cached, int gridSize = 0) {
    slv::PixelDevice device(int(state.range(0)));
    Scene s(device);
    s.view.gridSize = gridSize;
    slv::Surface* back = device.createSurface();
    back->setSize(kViewW, kViewH);
    slv::SceneCache* cache = cached ? &s.cache : nullptr;
    s.tick(*back, device, cache);  // first use: keyed strip encoded, outlines recorded
    s.tick(*back, device, cache);
    for (auto _ : state) {
        s.tick(*back, device, cache);
        benchmark::DoNotOptimize(back->pixels().pixels);
        benchmark::ClobberMemory();
    }
}

void BM_DisplayFrame(benchmark::State& state) { drawFrames(state, true); }
void BM_DisplayFrameUncached(benchmark::State& state) { drawFrames(state, false); }
// The same with the view's grid shown, 16 pixels apart.
void BM_DisplayFrameGrid(benchmark::State& state) { drawFrames(state, true, 16); }

// Sprites moved before every tick, as the editor sees them: with the cache.
void drawMovingFrames(benchmark::State& state, int movers, bool still = false) {
    slv::PixelDevice device(int(state.range(0)));
    Scene s(device);
    s.still = still;
    slv::Surface* back = device.createSurface();
    back->setSize(kViewW, kViewH);
    auto step = [&] {
        for (int n = 1; n <= movers; ++n) s.move(movers == 1 ? *s.view.selectedSprites.begin() : n);
        s.tick(*back, device, &s.cache);
    };
    for (int k = 0; k < 8; ++k) step();
    for (auto _ : state) {
        step();
        benchmark::DoNotOptimize(back->pixels().pixels);
        benchmark::ClobberMemory();
    }
}

void BM_DisplayFrameMoving(benchmark::State& state) { drawMovingFrames(state, kSprites); }
void BM_DisplayFrameDrag(benchmark::State& state) { drawMovingFrames(state, 1); }
void BM_DisplayFrameDragStill(benchmark::State& state) { drawMovingFrames(state, 1, true); }

// Processor time of this thread: what one tick costs, whatever else the
// machine runs meanwhile.
double threadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// A drag that stops: the iteration's time is the longest of its ticks (in
// processor time, so another program taking the processor away does not
// count), the frame the author waits for when the sprite comes to rest.
void BM_DisplayFrameDragStop(benchmark::State& state) {
    slv::PixelDevice device(int(state.range(0)));
    Scene s(device);
    slv::Surface* back = device.createSurface();
    back->setSize(kViewW, kViewH);
    for (int k = 0; k < 8; ++k) s.tick(*back, device, &s.cache);
    for (auto _ : state) {
        double longest = 0;
        for (int k = 0; k < 11; ++k) {
            if (k < 3) s.move(*s.view.selectedSprites.begin());
            const double t0 = threadSeconds();
            s.tick(*back, device, &s.cache);
            benchmark::DoNotOptimize(back->pixels().pixels);
            benchmark::ClobberMemory();
            longest = std::max(longest, threadSeconds() - t0);
        }
        state.SetIterationTime(longest);
    }
}

// A view placed in a shown 800x600 form as the window places it; null (the
// benchmark skipped) when it did not initialise.
slv::SceneWidget* showView(QWidget& form, benchmark::State& state, int minPresentMs = -1) {
    form.resize(800, 600);
    auto* view = new slv::SceneWidget(&form);
    view->setGeometry(6, 7, kViewW, kViewH);
    if (minPresentMs >= 0) view->setMinPresentInterval(minPresentMs);
    form.show();
    QApplication::processEvents();
    if (view->isViewReady()) return view;
    state.SkipWithError("the view did not initialise");
    return nullptr;
}

void BM_DisplayTickPresent(benchmark::State& state) {
    QWidget form;
    slv::SceneWidget* view = showView(form, state);
    if (!view) return;
    slv::PixelDevice& device = *view->device();
    Scene s(device);
    for (int k = 0; k < 3; ++k) {
        s.tick(*view->backBuffer(), device, &s.cache);
        view->present();
    }
    for (auto _ : state) {
        s.tick(*view->backBuffer(), device, &s.cache);
        view->present();
    }
    QApplication::processEvents();
}

// Every frame shown: no frame is left for a later one to replace, and each
// ends with a round trip to the display server, so the server has taken it.
void presentEveryFrame(benchmark::State& state, bool stillDrag) {
    QWidget form;
    slv::SceneWidget* view = showView(form, state, 0);
    if (!view) return;
    slv::PixelDevice& device = *view->device();
    Scene s(device);
    s.still = stillDrag;
    auto step = [&] {
        if (stillDrag) s.move(*s.view.selectedSprites.begin());
        view->present(s.tick(*view->backBuffer(), device, &s.cache));
        QGuiApplication::sync();
    };
    for (int k = 0; k < 8; ++k) step();
    for (auto _ : state) step();
    QApplication::processEvents();
}

void BM_DisplayPresentEveryFrame(benchmark::State& state) { presentEveryFrame(state, false); }
void BM_DisplayPresentDragStill(benchmark::State& state) { presentEveryFrame(state, true); }

void BM_DisplayRoundTrip(benchmark::State& state) {
    QWidget form;
    if (!showView(form, state, 0)) return;
    for (auto _ : state) QGuiApplication::sync();
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
BENCHMARK(BM_DisplayFrameGrid)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameUncached)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayTickPresent)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameMoving)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameDrag)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameDragStop)->Arg(32)->UseManualTime()->Iterations(50)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayFrameDragStill)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayPresentDragStill)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayPresentEveryFrame)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayRoundTrip)->Arg(32)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DisplayMemcpy)->Arg(32)->Arg(16)->Repetitions(9)->ReportAggregatesOnly(true)->Unit(benchmark::kMicrosecond);
