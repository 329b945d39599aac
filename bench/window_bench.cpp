// The main window's own costs, on the platform in use (offscreen unless
// QT_QPA_PLATFORM says otherwise): start-up to the first frame, Open and
// Save of a full-size level through the window's handlers next to the bare
// open-and-save that `slvtool resave` does on the same package, and frame
// detection of a 2880x64 strip including its load, read straight from the
// file and through a loaded surface. The figures the author waits for:
//   BM_WindowOverResaveDefault  Open + Save with the window's default
//                               progress settings, each run in a fresh folder
//   BM_EditorStart/Level|Empty  a separate editor process from launch to its
//                               first drawn frame, with the 30-stage level on
//                               its command line or without
//   BM_WindowIdleCpu            processor time over 10 s of a window with a
//                               stage of 100 sprites open, default settings
//   BM_WindowZoomCpu            processor time of the editor and the X server
//                               over 10 s of 100 animating sprites, the view
//                               at 3x against 1x
//   BM_WindowOpenImages/N       the window's Open of N pictures, fresh folders
//   BM_WindowOpenImagesFilesWritten/N  the same until the level's bitmap
//                               files are written too
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QListWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../tests/common/bmp_writer.h"
#include "display/scenewidget.h"
#include "display/frametimer.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "editor/scenepictures.h"
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
    int defaultPauseMs = 0;  // the window's own progress pause

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
        // Stage 1 holds 100 sprites, one picture each.
        for (int n = 1; n <= 100; ++n) {
            slv::SpriteRec& r = level->sprite(n, 1);
            r.name.set("sprite" + std::to_string(n) + ".bmp");
            r.image = n;
            r.x = (n * 61) % 600;
            r.y = (n * 37) % 390;
            r.w = r.h = 32;
            r.frameCount = r.frame = 1;
            level->image(n).useCount = 1;
        }
        level->stage(1).spriteCount = 100;
        package = dir + "level/level.slv";
        slv::PackageHooks hooks;
        slv::saveLevel(*level, package, hooks);

        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir + "config"));
        QDir::setCurrent(QString::fromStdString(home));
        slv::UiServices::install(&ui);
        window = std::make_unique<MainWindow>();
        defaultPauseMs = window->progressPauseMs;
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

// A new folder holding a copy of `package` as level.slv, made before any
// timing starts so that Open finds no file extracted by an earlier run.
std::string freshCopy(const std::string& package, const std::string& under) {
    static int serial = 0;
    const std::string folder = under + "fresh" + std::to_string(++serial) + "/";
    fs::create_directories(folder);
    fs::copy_file(package, folder + "level.slv");
    ::sync();  // no run waits on the writes of the one before
    return folder;
}

void removeFolder(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
}

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
    for (auto _ : state) slv::resaveLevel(*level, f.package, f.dir + "level/resave-out.slv");
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
    auto timed = [](auto&& run) {
        const auto t0 = Clock::now();
        run();
        return std::chrono::duration<double>(Clock::now() - t0).count();
    };
    auto resave = [&] { slv::resaveLevel(*level, f.package, f.dir + "level/resave-out.slv"); };
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

// As above with the progress settings a user has, and every run in a folder
// of its own: the window's Open + Save over `slvtool resave`'s.
void BM_WindowOverResaveDefault(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    w.progressPauseMs = f.defaultPauseMs;
    auto level = std::make_unique<slv::Level>();
    bool windowFirst = false;
    for (auto _ : state) {
        state.PauseTiming();
        windowFirst = !windowFirst;
        const std::string a = freshCopy(f.package, f.dir), b = freshCopy(f.package, f.dir);
        state.ResumeTiming();
        auto window = [&](const std::string& folder) {
            f.ui.savePath = QString::fromStdString(folder + "out.slv");
            w.level().startupPackage = folder + "level.slv";
            const auto t0 = Clock::now();
            w.openLevel();
            w.saveLevelAs();
            return std::chrono::duration<double>(Clock::now() - t0).count();
        };
        auto resave = [&](const std::string& folder) {
            const auto t0 = Clock::now();
            slv::resaveLevel(*level, folder + "level.slv", folder + "out.slv");
            return std::chrono::duration<double>(Clock::now() - t0).count();
        };
        double tw, tr;
        if (windowFirst) {
            tw = window(a);
            ::sync();
            tr = resave(b);
        } else {
            tr = resave(b);
            ::sync();
            tw = window(a);
        }
        state.SetIterationTime(tw / tr);
        // What the window does between frames after a Save: it writes the
        // level's files, and lets go of the package with the last one. (A
        // package deleted while still open would be freed when the next
        // Open lets go of it, in that Open's time: no author pays that.)
        w.document().writeLevelFiles();
        removeFolder(a);
        removeFolder(b);
    }
    w.progressPauseMs = 0;
    if (w.level().stageCount != 30) state.SkipWithError("level not opened");
}
BENCHMARK(BM_WindowOverResaveDefault)->UseManualTime()->Repetitions(5)->Iterations(2);

// Launch of a separate editor to its first drawn frame, as the author
// starts it: the editor beside this program, in a copy of the demo home
// folder, with the level (a fresh copy each time) on its command line for
// Level, and nothing for Empty. The editor says "first frame" and ends.
void BM_EditorStart(benchmark::State& state) {
    WindowFixture& f = fixture();
    const bool withLevel = state.range(0) != 0;
    const std::string editor = fs::read_symlink("/proc/self/exe").parent_path() / "slvedit";
    const std::string home = f.dir + "demo-home";
    if (!fs::exists(home)) fs::copy(SLV_DEMO_DIR, home, fs::copy_options::recursive);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = freshCopy(f.package, f.dir);
        fs::create_directories(folder + "state");
        std::vector<std::string> args{editor};
        if (withLevel) args.push_back(folder + "level.slv");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("SLVEDIT_FIRST_FRAME", "1", 1);
        setenv("XDG_STATE_HOME", (folder + "state").c_str(), 1);
        int out[2];
        if (::pipe(out) != 0) std::abort();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addchdir_np(&actions, home.c_str());
        state.ResumeTiming();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, editor.c_str(), &actions, nullptr, argv.data(), environ);
        ::close(out[1]);
        std::string said;
        char buf[256];
        pollfd pfd{out[0], POLLIN, 0};
        while (said.find("first frame") == std::string::npos && spawned == 0 && ::poll(&pfd, 1, 30000) > 0) {
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, std::size_t(n));
        }
        state.PauseTiming();
        ::close(out[0]);
        posix_spawn_file_actions_destroy(&actions);
        unsetenv("SLVEDIT_FIRST_FRAME");
        if (spawned == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        removeFolder(folder);
        state.ResumeTiming();
        if (said.find("first frame") == std::string::npos) {
            state.SkipWithError("the editor drew no frame");
            break;
        }
    }
}
BENCHMARK(BM_EditorStart)->ArgName("level")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(5);

// Processor time (all threads) of this process over 10 s while the window
// runs its frame loop with the default settings, a stage of 100 sprites
// open and the application active; the iteration's time is the percentage
// of one core, in seconds as the library counts.
void BM_WindowIdleCpu(benchmark::State& state) {
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    w.level().startupPackage = f.package;
    w.openLevel();
    w.findChild<QListWidget*>("stageList")->setCurrentRow(0);
    w.openSelectedStage();
    w.activateWindow();
    auto cpuSeconds = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    w.frameTimer_->setEnabled(true);
    for (auto _ : state) {
        const double c0 = cpuSeconds();
        // The event loop as the editor runs it, for 10 s.
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(100.0 * (cpuSeconds() - c0) / (double(wall.nsecsElapsed()) * 1e-9));
    }
    w.frameTimer_->setEnabled(false);
    state.counters["fps"] = w.frameTimer_->framesPerSecond();
    if (w.level().openStage != 1) state.SkipWithError("stage not opened");
}
BENCHMARK(BM_WindowIdleCpu)->UseManualTime()->Iterations(1)->Repetitions(3);

// Processor time in seconds of the X server the window draws on (the Xvfb
// serving $DISPLAY, from /proc/<pid>/stat); 0 when there is none, as on the
// offscreen platform.
double xServerCpuSeconds() {
    static const pid_t server = [] {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return pid_t(0);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc", ec)) {
            const std::string pid = entry.path().filename().string();
            if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
            std::FILE* f = std::fopen((entry.path() / "cmdline").c_str(), "rb");
            if (!f) continue;
            std::string line(4096, '\0');
            line.resize(std::fread(line.data(), 1, line.size(), f));
            std::fclose(f);
            std::vector<std::string> args;
            for (std::size_t at = 0; at < line.size();) {
                const std::size_t end = line.find('\0', at);
                args.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
                at = end == std::string::npos ? line.size() : end + 1;
            }
            if (args.empty() || fs::path(args[0]).filename() != "Xvfb") continue;
            for (const std::string& a : args)
                if (a == display) return pid_t(std::stoi(pid));
        }
        return pid_t(0);
    }();
    if (server == 0) return 0;
    std::FILE* f = std::fopen(("/proc/" + std::to_string(server) + "/stat").c_str(), "rb");
    if (!f) return 0;
    char buffer[1024] = {};
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    // Fields 14 and 15 (user and system ticks) follow the name in parentheses.
    const char* rest = std::strrchr(buffer, ')');
    if (!rest || rest >= buffer + n) return 0;
    unsigned long user = 0, system = 0;
    if (std::sscanf(rest + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2) return 0;
    return double(user + system) / double(::sysconf(_SC_CLK_TCK));
}

// The processor time (editor and X server together) of 10 s of the frame
// loop at the default pacing on a stage of 100 sprites of 2 frames each,
// animating, with the view at 3x against the same at 1x: in the window's
// own 640x430 view (argument 0) and in a view that fills a 1920x1080 window
// (argument 1), where 3x shows nine times the pixels. Each iteration runs
// both zooms, in turns, so that the machine's load falls on both; its time
// is the ratio.
void BM_WindowZoomCpu(benchmark::State& state) {
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    w.level().startupPackage = f.package;
    w.openLevel();
    w.findChild<QListWidget*>("stageList")->setCurrentRow(0);
    w.openSelectedStage();
    slv::SceneWidget* view = w.findChild<slv::SceneWidget*>("sceneView");
    for (int n = 1; n <= 100; ++n) {
        slv::SpriteRec& r = w.level().sprite(n, 1);
        r.w = 16;  // the 32x32 pictures as strips of two frames
        r.frameCount = 2;
    }
    const QSize windowSize = w.size();
    const bool large = state.range(0) == 1;
    if (large) {
        // The window grows around a view of 1920x1080.
        view->setFixedSize(1920, 1080);
        w.adjustSize();
    }
    w.activateWindow();
    auto editorCpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    double editorShare[2] = {}, serverShare[2] = {};
    auto run = [&](int zoom) {
        view->setZoom(zoom);
        const double e0 = editorCpu(), x0 = xServerCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        const double seconds = double(wall.nsecsElapsed()) * 1e-9;
        const int k = zoom == 1 ? 0 : 1;
        editorShare[k] = 100.0 * (editorCpu() - e0) / seconds;
        serverShare[k] = 100.0 * (xServerCpuSeconds() - x0) / seconds;
        return (editorCpu() - e0 + xServerCpuSeconds() - x0) / seconds;
    };
    w.frameTimer_->setEnabled(true);
    bool oneFirst = true;
    for (auto _ : state) {
        double one = 0, three = 0;
        if (oneFirst) {
            one = run(1);
            three = run(3);
        } else {
            three = run(3);
            one = run(1);
        }
        oneFirst = !oneFirst;
        state.SetIterationTime(one > 0 ? three / one : 0);
    }
    w.frameTimer_->setEnabled(false);
    view->setZoom(1);
    if (large) {
        view->setMinimumSize(0, 0);
        view->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        w.resize(windowSize);
    }
    state.counters["editor1x%"] = editorShare[0];
    state.counters["editor3x%"] = editorShare[1];
    state.counters["xserver1x%"] = serverShare[0];
    state.counters["xserver3x%"] = serverShare[1];
    state.counters["fps"] = w.frameTimer_->framesPerSecond();
    if (w.level().openStage != 1) state.SkipWithError("stage not opened");
}
BENCHMARK(BM_WindowZoomCpu)->ArgName("large")->Arg(0)->Arg(1)->UseManualTime()->Iterations(1)->Repetitions(3);

// The window's Open (default settings but for the progress pause, which
// does not hold the window) of a package of N pictures of 4 KB and three
// small stages, each run in a fresh folder. The Open returns with the
// pictures loaded; with `filesToo` the time runs on until every bitmap file
// of the level is written as well.
void openImages(benchmark::State& state, bool filesToo) {
    WindowFixture& f = fixture();
    MainWindow& w = *f.window;
    const int images = int(state.range(0));
    const std::string made = f.dir + "images" + std::to_string(images);
    const std::string maker = fs::read_symlink("/proc/self/exe").parent_path() / "package_testdata";
    if (!fs::exists(made + "/level.slv")) {
        const std::string cmd = "'" + maker + "' '" + made + "' 3 4000 " + std::to_string(images) + " 4096 >/dev/null";
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("package_testdata could not make the level");
            return;
        }
    }
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = freshCopy(made + "/level.slv", f.dir);
        w.level().startupPackage = folder + "level.slv";
        state.ResumeTiming();
        w.openLevel();
        if (filesToo) w.document().writeLevelFiles();
        state.PauseTiming();
        const bool opened = w.level().imageCount == images;
        w.newLevel();
        removeFolder(folder);
        state.ResumeTiming();
        if (!opened) {
            state.SkipWithError("level not opened");
            break;
        }
    }
}
void BM_WindowOpenImages(benchmark::State& state) { openImages(state, false); }
void BM_WindowOpenImagesFilesWritten(benchmark::State& state) { openImages(state, true); }
BENCHMARK(BM_WindowOpenImagesFilesWritten)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_WindowOpenImages)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

void BM_FramecountWithLoad(benchmark::State& state) {
    WindowFixture& f = fixture();
    const std::string strip = f.dir + "strip.bmp";
    const std::uint32_t key = f.window->viewState().colorKey;
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
        const slv::SurfaceHandle h = w.pictures().load(strip, false);
        const slv::PixelView v = w.pictures().surface(h)->pixels();
        const int n = slv::detectFrameCount(v.pixels, v.pitch, v.bytesPerPixel, v.width, v.height, w.viewState().colorKey);
        w.pictures().release(h);
        if (n != 36) state.SkipWithError("wrong frame count");
    }
}
BENCHMARK(BM_FramecountThroughSurface)->Unit(benchmark::kMicrosecond)->Repetitions(7);

}  // namespace
