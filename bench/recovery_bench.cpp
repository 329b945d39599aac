// The frame loop while the recovery package of a 30-stage level is written:
// the copy of the level is taken on the window's thread, between two frames,
// and a worker writes it while frames go on. Every write's slowest frame
// (the one that carries the copy included) is kept; at the end the program
// prints their median as `recovery write worst frame: T ms`.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../tests/common/bmp_writer.h"
#include "display/frametimer.h"
#include "editor/leveldocument.h"
#include "editor/mainwindow.h"
#include "window_fixture.h"
#include "editor/spritepicker.h"
#include "package/recoverywriter.h"
#include "editor/uiservices.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Answers the Add dialog with the stage pictures and keeps the last error.
class StagePickerUi : public slv::UiServices {
public:
    QStringList pictures;
    QString lastError;
    void error(QWidget*, const QString& text) override { lastError = text; }
    bool confirm(QWidget*, const QString&) override { return false; }
    QStringList openFiles(QWidget*, const QString&, const QString&, bool) override { return pictures; }
};

// Sets an environment variable for the life of the object.
class EnvFor {
public:
    EnvFor(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvFor() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A window on a copy of the demo home whose level has 30 stages (640x430, no
// two alike) added through its Add button, with the first stage open and the
// demo's five sprites on it; its recovery packages go to a state folder of
// its own.
struct RecoveryFixture {
    std::string dir;
    StagePickerUi ui;
    std::unique_ptr<MainWindow> window;

    RecoveryFixture() {
        std::string t = (fs::temp_directory_path() / "slvbench-recovery-XXXXXX").string();
        if (!::mkdtemp(t.data())) std::abort();
        dir = t + "/";
        const std::string home = dir + "home/";
        fs::copy(SLV_DEMO_DIR, home, fs::copy_options::recursive);
        fs::create_directories(dir + "config");
        fs::create_directories(dir + "state");
        for (int s = 1; s <= 30; ++s) {
            const std::string path = home + "backpx/stage" + std::to_string(s) + ".bmp";
            writeBmp(path, {640, 430}, [s](int x, int y) {
                return (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y * s) * 40503u) & 0x7F7F7Fu;
            });
            ui.pictures << QString::fromStdString(path);
        }
        // The window reads both folders when it is made; later windows of
        // other benchmarks keep their own.
        const QString oldCwd = QDir::currentPath();
        {
            EnvFor config("XDG_CONFIG_HOME", dir + "config");
            EnvFor state("XDG_STATE_HOME", dir + "state");
            QDir::setCurrent(QString::fromStdString(home));
            slv::UiServices::install(&ui);
            window = std::make_unique<MainWindow>();
        }
        MainWindow& w = *window;
        w.progressPauseMs = 0;
        w.document().setRecoveryDelay(24 * 3600 * 1000);  // written only when the benchmark says
        w.frameTimer_->setEnabled(false);
        w.show();
        QCoreApplication::processEvents();
        w.onFrameTick(1);
        w.findChild<QTabWidget*>("editTabs")->setCurrentIndex(0);
        w.addOnActiveTab();
        w.selectRow(w.findChild<QListWidget*>("stageList"), 0);
        w.openSelectedStage();
        w.findChild<QTabWidget*>("editTabs")->setCurrentIndex(1);
        w.addOnActiveTab();
        for (const char* sprite : {"coin.bmp", "gem.bmp", "fan.bmp", "bird.bmp", "flame.bmp"})
            for (QListWidgetItem* item : w.findChild<slv::SpritePicker*>("spritePicker")->fileList_->findItems(sprite, Qt::MatchExactly))
                item->setSelected(true);
        w.confirmPickedSprites();
        QCoreApplication::processEvents();
        QDir::setCurrent(oldCwd);
    }
    ~RecoveryFixture() {
        window.reset();
        slv::UiServices::install(nullptr);
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

RecoveryFixture& fixture() { return windowFixture<RecoveryFixture>(); }

// The slowest frame of every write, in seconds; the median is printed when
// the program ends, after the library's own table.
struct WorstFrames {
    std::vector<double> seconds;
    ~WorstFrames() {
        if (seconds.empty()) return;
        std::sort(seconds.begin(), seconds.end());
        const std::size_t n = seconds.size();
        const double median = n % 2 ? seconds[n / 2] : (seconds[n / 2 - 1] + seconds[n / 2]) / 2;
        std::printf("recovery write worst frame: %.2f ms\n", median * 1000);
        std::fflush(stdout);
    }
};
WorstFrames worstFrames;

// One iteration: one recovery write, the frame loop running until it ends.
// The iteration time is that write's slowest frame.
void BM_RecoveryWriteWorstFrame(benchmark::State& state) {
    RecoveryFixture& f = fixture();
    MainWindow& w = *f.window;
    if (w.level().stageCount != 30 || w.level().openStage != 1 || w.level().imageCount != 5 ||
        !f.ui.lastError.isEmpty()) {
        state.SkipWithError(("level not set up: " + f.ui.lastError.toStdString()).c_str());
        return;
    }
    int frames = 0;
    double snapshot = 0;
    for (auto _ : state) {
        w.document().recovery().wait();
        const auto start = Clock::now();
        w.document().writeRecoveryNow();
        auto last = Clock::now();
        snapshot += std::chrono::duration<double>(last - start).count();
        if (!w.document().recovery().busy() && !w.document().recovery().exists()) {
            state.SkipWithError("no recovery write started");
            break;
        }
        double worst = 0;
        bool first = true;
        do {
            w.onFrameTick(1);
            const auto now = Clock::now();
            // The first frame waited for the copy as well.
            worst = std::max(worst, std::chrono::duration<double>(now - (first ? start : last)).count());
            last = now;
            first = false;
            ++frames;
        } while (w.document().recovery().busy());
        w.document().recovery().wait();
        if (!w.document().recovery().lastError().empty()) {
            state.SkipWithError(w.document().recovery().lastError().c_str());
            break;
        }
        state.SetIterationTime(worst);
        worstFrames.seconds.push_back(worst);
    }
    state.counters["frames_per_write"] = benchmark::Counter(frames, benchmark::Counter::kAvgIterations);
    state.counters["copy_ms"] =
        benchmark::Counter(snapshot * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RecoveryWriteWorstFrame)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(10)
    ->Repetitions(5);

}  // namespace
