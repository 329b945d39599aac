// Dragging a sprite with the mouse.
//
//   BM_DragStep            one mouse move of a drag through the document and
//                          its history, on a full level (30 stages of 100
//                          sprites); pictures are numbers here
//   BM_PasteSprites        paste 100 sprites ms: a paste of 100 sprites
//                          (10 pictures, all in the level) onto an empty
//                          stage, to be set against BM_DragStep
//   BM_DragCpu/dragging:N  the editor's processor time (percent of a core)
//                          over a few seconds with a stage of 100 animating
//                          sprites open, default pacing: N = 0 left alone,
//                          N = 1 one sprite dragged without pause
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QListWidget>
#include <QTabWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "../tests/common/bmp_writer.h"
#include "display/frametimer.h"
#include "display/scenewidget.h"
#include "editor/edittools.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/uiservices.h"
#include "model/editing.h"
#include "package/levelio.h"
#include "window_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace slv;

SurfaceCallbacks numberSurfaces() {
    SurfaceCallbacks cb;
    cb.load = [n = SurfaceHandle(1)](const std::string&) mutable { return n++; };
    cb.release = [](SurfaceHandle) {};
    cb.measure = [](SurfaceHandle) { return SurfaceSize{64, 32}; };
    cb.fileSize = [](const std::string&) -> std::int64_t { return 4096; };
    return cb;
}

std::string freshFolder(const char* what) {
    std::string t = (fs::temp_directory_path() / (std::string("slvbench-") + what + "-XXXXXX")).string();
    if (!::mkdtemp(t.data())) std::abort();
    return t + "/";
}

// 30 stages of 100 sprites, stage 1 open.
void fillLevel(LevelDocument& doc) {
    Level& lv = doc.level();
    const SurfaceCallbacks cb = doc.surfaceCallbacks();
    std::vector<std::string> stages;
    for (int s = 1; s <= kMaxStages; ++s) stages.push_back("/w/backpx/stage" + std::to_string(s) + ".bmp");
    addStages(lv, stages, cb.fileSize);
    for (int s = 1; s <= kMaxStages; ++s) {
        lv.openStage = s;
        for (int n = 1; n <= kMaxSprites; ++n) {
            SpriteRec& sp = lv.sprite(n, s);
            sp.name.set("sprite.bmp");
            sp.frameCount = 2;
            sp.frame = 1;
            sp.x = n * 5;
            sp.y = s * 7;
            attachSpritePicture(lv, "/w/sprites/shared" + std::to_string(n) + ".bmp", n, cb);
            lv.stage(s).spriteCount = n;
        }
    }
    lv.openStage = 1;
    doc.history().reset(lv);
}

// The mouse on the document's view through the Sprite page's tool, the
// left button held.
struct DocumentMouse {
    LevelDocument& doc;
    SpriteTool tool{doc};
    void press(int x, int y) { tool.mousePressed({true, false, false, x, y}); }
    void move(int x, int y) { tool.mouseMoved({true, false, false, x, y}); }
    void release() { tool.mouseReleased({true, false, false, 0, 0}); }
};

void BM_DragStep(benchmark::State& state) {
    const std::string folder = freshFolder("drag");
    {
        LevelDocument doc(folder + "state");
        doc.setSurfaceCallbacks(numberSurfaces());
        fillLevel(doc);
        const SpriteRec& sp = doc.level().sprite(50, 1);
        const int x0 = sp.x + 2, y0 = sp.y + 2;
        DocumentMouse mouse{doc};
        mouse.press(x0, y0);
        int k = 0;
        for (auto _ : state) {
            ++k;
            mouse.move(x0 + (k & 63), y0 + ((k >> 6) & 63));
        }
        mouse.release();
        if (doc.history().undoCount() != 1) state.SkipWithError("the drag is not one step");
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_DragStep)->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

void BM_PasteSprites(benchmark::State& state) {
    const std::string folder = freshFolder("paste");
    {
        LevelDocument doc(folder + "state");
        doc.setSurfaceCallbacks(numberSurfaces());
        doc.setFrameDetector([](const std::string&) { return 2; });
        doc.setWorkFolder(folder);
        std::vector<std::string> names;
        for (int k = 0; k < 10; ++k) {
            const std::string name = "strip" + std::to_string(k) + ".bmp";
            writeBmp(folder + name, {128, 32, 24, false}, [k](int x, int y) { return std::uint32_t(x * y + k); });
            for (int r = 0; r < 10; ++r) names.push_back(name);
        }
        doc.addStages({folder + "strip0.bmp", folder + "strip1.bmp"});
        doc.openStage(1);
        int place = 0;
        doc.addSprites(folder, names, [&place](int n) { return (place += 37) % n; });
        std::set<int> all;
        for (int n = 1; n <= kMaxSprites; ++n) all.insert(n);
        doc.select(ItemKind::Sprite, all);
        const LevelItems items = doc.copySelection(ItemKind::Sprite);
        doc.openStage(2);
        for (auto _ : state) {
            doc.pasteItems(items, "Paste sprites");
            state.PauseTiming();
            if (doc.level().stage(2).spriteCount != kMaxSprites) state.SkipWithError("not pasted");
            doc.undo();
            state.ResumeTiming();
        }
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
}
BENCHMARK(BM_PasteSprites)->Name("paste 100 sprites ms")->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

// Answers the window's dialogs without showing any.
class SilentUi : public UiServices {
public:
    void error(QWidget*, const QString&) override {}
    bool confirm(QWidget*, const QString&) override { return true; }
};

// A home folder and a level of one stage holding 100 sprites of 4 frames
// (128x32 strips), saved once into level.slv; the window is made on that home.
struct DragFixture {
    std::string dir;
    std::string package;
    SilentUi ui;
    std::unique_ptr<MainWindow> window;

    DragFixture() {
        dir = freshFolder("dragcpu");
        const std::string home = dir + "home/";
        for (const char* sub : {"home", "config", "src", "level"}) fs::create_directories(dir + sub);
        auto plain = [](std::uint32_t c) { return [c](int, int) { return c; }; };
        writeBmp(home + "car.bmp", {640, 430}, plain(0x3050A0));
        writeBmp(home + "pad01.bmp", {640, 50}, plain(0x202020));
        writeBmp(home + "purple.bmp", {4, 4}, plain(0xFF00FF));
        writeBmp(home + "screen1.bmp", {177, 119}, plain(0x405060));

        auto level = std::make_unique<Level>();
        level->stage(1).name.set("stage1.bmp");
        level->stage(1).path.set(dir + "src/stage1.bmp");
        level->stageCount = 1;
        writeBmp(dir + "src/stage1.bmp", {640, 430},
                 [](int x, int y) { return 0x203040u + static_cast<std::uint32_t>((x ^ y) & 0x3F); });
        for (int n = 1; n <= 100; ++n) {
            const std::string name = "walk" + std::to_string(n) + ".bmp";
            writeBmp(dir + "src/" + name, {128, 32},
                     [n](int x, int y) { return 0x400000u * static_cast<std::uint32_t>(x / 32 + 1) + 0x101 * ((y + n) & 0x3F); });
            level->image(n).name.set(name);
            level->image(n).path.set(dir + "src/" + name);
            level->image(n).useCount = 1;
            level->imageCount = n;
            SpriteRec& r = level->sprite(n, 1);
            r.name.set(name);
            r.image = n;
            r.x = (n * 61) % 600;
            r.y = (n * 37) % 390;
            r.w = r.h = 32;
            r.frameCount = 4;
            r.frame = 1;
        }
        level->stage(1).spriteCount = 100;
        package = dir + "level/level.slv";
        PackageHooks hooks;
        saveLevel(*level, package, hooks);

        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir + "config"));
        QDir::setCurrent(QString::fromStdString(home));
        UiServices::install(&ui);
        window = std::make_unique<MainWindow>();
        window->progressPauseMs = 0;
        window->frameTimer_->setEnabled(false);
        window->show();
        QCoreApplication::processEvents();
        window->onFrameTick(1);
        QCoreApplication::processEvents();
    }
    ~DragFixture() {
        window.reset();
        UiServices::install(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The Sprite tab's view, as the mouse drives it: a move every 8 ms (a
// 125 Hz mouse) back and forth over 100 pixels, the left button held.
void BM_DragCpu(benchmark::State& state) {
    const bool dragging = state.range(0) != 0;
    DragFixture& f = windowFixture<DragFixture>();
    MainWindow& w = *f.window;
    if (w.level().openStage != 1) {
        w.level().startupPackage = f.package;
        w.openLevel();
        w.findChild<QListWidget*>("stageList")->setCurrentRow(0);
        w.openSelectedStage();
        w.findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
    }
    w.activateWindow();
    const SpriteRec start = w.level().sprite(1, 1);
    int step = 0;
    bool moved = false;
    SpriteRec pickedAt{};
    QTimer mouse;
    mouse.setInterval(8);
    QObject::connect(&mouse, &QTimer::timeout, [&] {
        ++step;
        const int along = step % 200 < 100 ? step % 100 : 100 - step % 100;
        emit w.findChild<slv::SceneWidget*>("sceneView")->mouseMove(Qt::LeftButton, false, start.x + 2 + along, start.y + 2 + along / 2);
        const int picked = w.document().selection().first(ItemKind::Sprite);
        moved = moved || (picked >= 1 && w.level().sprite(picked, 1).x != pickedAt.x);
    });
    w.frameTimer_->setEnabled(true);
    for (auto _ : state) {
        if (dragging) {
            emit w.findChild<slv::SceneWidget*>("sceneView")->mouseDown(Qt::LeftButton, false, start.x + 2, start.y + 2);
            const int picked = w.document().selection().first(ItemKind::Sprite);
            if (picked >= 1) pickedAt = w.level().sprite(picked, 1);
            mouse.start();
        }
        const double c0 = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(4000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(100.0 * (cpuSeconds() - c0) / (double(wall.nsecsElapsed()) * 1e-9));
        if (dragging) {
            mouse.stop();
            emit w.findChild<slv::SceneWidget*>("sceneView")->mouseUp(Qt::LeftButton, false, start.x + 2, start.y + 2);
        }
    }
    w.frameTimer_->setEnabled(false);
    if (dragging && !moved) state.SkipWithError("the sprite did not move");
    if (w.level().openStage != 1) state.SkipWithError("stage not opened");
}
BENCHMARK(BM_DragCpu)->ArgName("dragging")->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
