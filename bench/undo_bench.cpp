// Undo and redo of a stage Del on a full level: 30 stages of 100 sprites,
// the first stage's sprites each with an image of their own (released by the
// Del and brought back by undo), the other stages sharing 100 images.
// Pictures are numbers here: the time is the history's, not the loader's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "model/editing.h"
#include "model/history.h"

namespace {

using namespace slv;

SurfaceCallbacks numberSurfaces() {
    SurfaceCallbacks cb;
    cb.load = [n = SurfaceHandle(1)](const std::string&) mutable { return n++; };
    cb.release = [](SurfaceHandle) {};
    cb.measure = [](SurfaceHandle) { return SurfaceSize{64, 32}; };
    cb.fileSize = [](const std::string&) -> std::int64_t { return 4096; };
    return cb;
}

std::unique_ptr<Level> fullLevel(const SurfaceCallbacks& cb) {
    auto lv = std::make_unique<Level>();
    std::vector<std::string> stages;
    for (int s = 1; s <= kMaxStages; ++s) stages.push_back("/w/backpx/stage" + std::to_string(s) + ".bmp");
    addStages(*lv, stages, cb.fileSize);
    for (int s = 1; s <= kMaxStages; ++s) {
        lv->openStage = s;
        for (int n = 1; n <= kMaxSprites; ++n) {
            SpriteRec& sp = lv->sprite(n, s);
            sp.name.set("sprite.bmp");
            sp.frameCount = 2;
            sp.frame = 1;
            sp.x = n * 5;
            sp.y = s * 7;
            const std::string name = s == 1 ? "own" + std::to_string(n) : "shared" + std::to_string(n);
            attachSpritePicture(*lv, "/w/sprites/" + name + ".bmp", n, cb);
            lv->stage(s).spriteCount = n;
        }
    }
    lv->openStage = 1;
    return lv;
}

template <bool kUndo>
void stageDel(benchmark::State& state) {
    const SurfaceCallbacks cb = numberSurfaces();
    auto lv = fullLevel(cb);
    History h;
    h.reset(*lv);
    {
        HistoryEdit edit(h, *lv);
        deleteStage(*lv, 1, cb);
        lv->openStage = 0;
    }
    for (auto _ : state) {
        if (!kUndo) h.undo(*lv, cb);
        const auto t0 = std::chrono::steady_clock::now();
        const bool done = kUndo ? h.undo(*lv, cb) : h.redo(*lv, cb);
        const auto t1 = std::chrono::steady_clock::now();
        if (kUndo) h.redo(*lv, cb);
        if (!done) state.SkipWithError("nothing to undo or redo");
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    state.counters["step_bytes"] = static_cast<double>(h.bytes());
}

void BM_UndoStageDel(benchmark::State& state) { stageDel<true>(state); }
void BM_RedoStageDel(benchmark::State& state) { stageDel<false>(state); }

// Recording the Del itself: the comparison of the tables with the history's copy.
void BM_RecordStageDel(benchmark::State& state) {
    const SurfaceCallbacks cb = numberSurfaces();
    auto lv = fullLevel(cb);
    History h;
    for (auto _ : state) {
        state.PauseTiming();
        h.reset(*lv);
        auto copy = std::make_unique<Level>(*lv);
        deleteStage(*copy, 1, cb);
        state.ResumeTiming();
        h.begin(*copy);
        h.record(*copy);
    }
}

}  // namespace

BENCHMARK(BM_UndoStageDel)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RedoStageDel)->UseManualTime()->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_RecordStageDel)->Unit(benchmark::kMicrosecond);
