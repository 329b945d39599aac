// The main window's own costs, offscreen: start-up to the first frame, Open and Save of a full-size level
// through the window's handlers next to the bare open-and-save that
// `slvtool resave` does on the same package, and frame detection of a
// 2880x64 strip including its load, read straight from the file and through
// a loaded surface.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "../tests/common/bmp_writer.h"
#include "display/scenewidget.h"
#include "display/frametimer.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "window_fixture.h"
#include "model/framecount.h"
#include "package/levelio.h"
#include "editor/uiservices.h"

namespace {

namespace fs = std::filesystem;

// Answers the window's dialogs without showing any.
class QuietUi : public slv::UiServices {
public:
    QString savePath;
    QString lastError;
    void error(QWidget*, const QString& text) override { lastError = text; }
    bool confirm(QWidget*, const QString&) override { return true; }
    QString saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return savePath;
    }
};

std::uint32_t noise(int x, int y, unsigned seed) {
    return (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u ^ seed) & 0x7F7F7Fu;
}

// A home folder and a level of 30 stages (640x430) and 300 sprite images
// (32x32), saved once into level.slv; the window is made on that home.
struct WindowFixture {
    std::string dir;
    std::string package;
    QuietUi ui;
    std::unique_ptr<MainWindow> window;

    WindowFixture() {
        std::string t = (fs::temp_directory_path() / "slvbench-window-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        dir = t + "/";
        const std::string home = dir + "home/";
        fs::create_directories(home);
        fs::create_directories(dir + "config");
        fs::create_directories(dir + "src");
        fs::create_directories(dir + "level");
        auto plain = [](std::uint32_t c) { return [c](int, int) { return c; }; };
        writeBmp(home + "car.bmp", {640, 430}, plain(0x3050A0));
        writeBmp(home + "pad01.bmp", {640, 50}, plain(0x202020));
        writeBmp(home + "purple.bmp", {4, 4}, plain(0xFF00FF));
        writeBmp(home + "screen1.bmp", {177, 119}, plain(0x405060));
        writeBmp(dir + "strip.bmp", {2880, 64}, [](int x, int y) {
            return x % 80 == 0 ? 0xFF00FFu : 0x203040u + noise(x, y, 7);
        });

        auto level = std::make_unique<slv::Level>();
        for (int i = 1; i <= 300; ++i) {
            const std::string name = "sprite" + std::to_string(i) + ".bmp";
            writeBmp(dir + "src/" + name, {32, 32}, [i](int x, int y) { return noise(x, y, i); });
            level->image(i).name.set(name);
            level->image(i).path.set(dir + "src/" + name);
            level->imageCount = i;
        }
        for (int s = 1; s <= 30; ++s) {
            const std::string name = "stage" + std::to_string(s) + ".bmp";
            writeBmp(dir + "src/" + name, {640, 430}, [s](int x, int y) { return noise(x, y, 1000 + s); });
            level->stage(s).name.set(name);
            level->stage(s).path.set(dir + "src/" + name);
            level->stageCount = s;
        }
        package = dir + "level/level.slv";
        slv::PackageHooks hooks;
        slv::saveLevel(*level, package, hooks);

        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir + "config"));
        QDir::setCurrent(QString::fromStdString(home));
        slv::UiServices::install(&ui);
        window = std::make_unique<MainWindow>();
        window->progressPauseMs = 0;
        window->frameTimer_->setEnabled(false);
        window->show();
        QCoreApplication::processEvents();
        window->onFrameTick(1);  // the first tick: surfaces and colour key
        QCoreApplication::processEvents();
    }
    ~WindowFixture() {
        window.reset();
        slv::UiServices::install(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

WindowFixture& fixture() { return windowFixture<WindowFixture>(); }

void BM_WindowOpenSave(benchmark::State& state) {
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    f.ui.savePath = QString::fromStdString(f.dir + "level/window-out.slv");
    for (auto _ : state) {
        w.level().startupPackage = f.package;
        w.openLevel();
        w.saveLevel();
    }
    if (w.level().imageCount != 300 || w.level().stageCount != 30) state.SkipWithError("level not opened");
}
BENCHMARK(BM_WindowOpenSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);

// What `slvtool resave` does with the same package in the same folder.
void BM_ResaveOpenSave(benchmark::State& state) {
    WindowFixture& f = fixture();
    auto level = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    for (auto _ : state) {
        slv::openLevel(*level, f.package, hooks);
        slv::saveLevel(*level, f.dir + "level/resave-out.slv", hooks);
    }
}
BENCHMARK(BM_ResaveOpenSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);

// Start-up to the first drawn frame, within a running application: the
// window made, shown, and its first tick drawn and presented.
void BM_WindowStartup(benchmark::State& state) {
    WindowFixture& f = fixture();
    (void)f;
    for (auto _ : state) {
        auto w = std::make_unique<MainWindow>();
        w->frameTimer_->setEnabled(false);
        w->show();
        QCoreApplication::processEvents();
        w->onFrameTick(1);
        state.PauseTiming();
        w.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowStartup)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);

// The two side by side, one after the other in every iteration, so that the
// machine's ups and downs fall on both: the iteration "time" is the ratio
// window / resave of that pair, in seconds as the library counts.
void BM_WindowOverResave(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    f.ui.savePath = QString::fromStdString(f.dir + "level/window-out.slv");
    auto level = std::make_unique<slv::Level>();
    slv::PackageHooks hooks;
    auto timed = [](auto&& run) {
        const auto t0 = Clock::now();
        run();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    auto resave = [&] {
        slv::openLevel(*level, f.package, hooks);
        slv::saveLevel(*level, f.dir + "level/resave-out.slv", hooks);
    };
    auto window = [&] {
        w.level().startupPackage = f.package;
        w.openLevel();
        w.saveLevel();
    };
    bool windowFirst = false;
    for (auto _ : state) {
        // Turn about, so that neither always runs after the other's writes.
        windowFirst = !windowFirst;
        const double a = timed(windowFirst ? std::function<void()>(window) : resave);
        const double b = timed(windowFirst ? std::function<void()>(resave) : window);
        state.SetIterationTime(windowFirst ? a / b : b / a);
    }
}
BENCHMARK(BM_WindowOverResave)->UseManualTime()->Repetitions(7)->Iterations(6);

void BM_FramecountWithLoad(benchmark::State& state) {
    WindowFixture& f = fixture();
    const std::string strip = f.dir + "strip.bmp";
    const std::uint32_t key = f.window->level().colorKey;
    for (auto _ : state) {
        const int n = slv::detectFrameCountFromFile(strip, 4, key);
        if (n != 36) state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_FramecountWithLoad)->Unit(benchmark::kMicrosecond)->Repetitions(7);

// The same through a surface: decode the whole picture, detect, free.
void BM_FramecountThroughSurface(benchmark::State& state) {
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    const std::string strip = f.dir + "strip.bmp";
    for (auto _ : state) {
        const slv::SurfaceHandle h = w.loadSurface(strip, false);
        const slv::PixelView v = w.surface(h)->pixels();
        const int n = slv::detectFrameCount(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height, w.level().colorKey);
        w.freeSurface(h);
        if (n != 36) state.SkipWithError("wrong frame count");
    }
}
BENCHMARK(BM_FramecountThroughSurface)->Unit(benchmark::kMicrosecond)->Repetitions(7);

}  // namespace
