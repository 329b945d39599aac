// The benchmark program: runs every registered benchmark and ends with the
// frame-to-memcpy ratios of the display layer.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "display/surface.h"

namespace {

// Prints as usual and keeps the median real time (seconds) of every run.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Aggregate || r.aggregate_name != "median" || r.error_occurred)
                continue;
            std::string name = r.run_name.function_name;
            if (!r.run_name.args.empty()) name += "/" + r.run_name.args;
            medians[name] = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void printRatio(const MedianReporter& rep, int bits, const char* label = "frame ratio",
                const char* bench = "BM_DisplayFrame") {
    const std::string arg = "/" + std::to_string(bits);
    auto frame = rep.medians.find(bench + arg);
    auto copy = rep.medians.find("BM_DisplayMemcpy" + arg);
    if (frame == rep.medians.end() || copy == rep.medians.end() || copy->second <= 0)
        std::printf("%s %dbpp: n/a\n", label, bits);
    else
        std::printf("%s %dbpp: %.2f\n", label, bits, frame->second / copy->second);
}

// A median in milliseconds, one median over another, or a median that is
// itself a ratio, under the name scripts read.
void printFigure(const MedianReporter& rep, const char* label, const std::string& name,
                 const std::string& over = {}, bool isRatio = false) {
    auto a = rep.medians.find(name);
    auto b = over.empty() ? rep.medians.end() : rep.medians.find(over);
    if (a == rep.medians.end() || (!over.empty() && (b == rep.medians.end() || b->second <= 0)))
        std::printf("%s: n/a\n", label);
    else if (isRatio)
        std::printf("%s: %.2f\n", label, a->second);
    else if (over.empty())
        std::printf("%s: %.4f ms\n", label, a->second * 1000);
    else
        std::printf("%s: %.2f\n", label, a->second / b->second);
}

// The processor's name and which vector instructions it has and keyed
// copies use, so figures from different machines can be told apart.
void printProcessor() {
    std::ifstream info("/proc/cpuinfo");
    std::string line, model = "unknown";
    while (std::getline(info, line))
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    std::string has;
    for (slv::CopyPath p : slv::runnableCopyPaths()) has += std::string(has.empty() ? "" : ", ") + slv::copyPathName(p);
    std::printf("processor: %s\n", model.c_str());
    std::printf("keyed copy paths runnable: %s; used: %s\n", has.c_str(), slv::copyPathName(slv::copyPath()));
    std::fflush(stdout);
}

void printMs(const MedianReporter& rep, const char* label, const std::string& name) {
    auto a = rep.medians.find(name);
    if (a == rep.medians.end())
        std::printf("%s: n/a\n", label);
    else
        std::printf("%s: %.0f\n", label, a->second * 1000);
}

}  // namespace

int main(int argc, char** argv) {
    // Fonts need an application object; no window is ever shown.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    printProcessor();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    printRatio(reporter, 32);
    printRatio(reporter, 16);
    printRatio(reporter, 32, "frame ratio grid", "BM_DisplayFrameGrid");
    printRatio(reporter, 32, "tick+present ratio", "BM_DisplayTickPresent");
    printFigure(reporter, "window open+save vs resave", "BM_WindowOverResave", "", true);
    printFigure(reporter, "framecount with load 2880x64", "BM_FramecountWithLoad");
    printFigure(reporter, "window start-up to first frame", "BM_WindowStartup");
    printFigure(reporter, "open same-named 2000", "BM_PackageOpenSameNamed");
    printRatio(reporter, 32, "frame ratio moving", "BM_DisplayFrameMoving");
    printRatio(reporter, 32, "frame ratio drag", "BM_DisplayFrameDrag");
    printRatio(reporter, 32, "frame ratio drag stop", "BM_DisplayFrameDragStop");
    printRatio(reporter, 32, "present ratio every frame", "BM_DisplayPresentEveryFrame");
    printRatio(reporter, 32, "frame ratio drag, sprites still", "BM_DisplayFrameDragStill");
    printRatio(reporter, 32, "present ratio drag, sprites still", "BM_DisplayPresentDragStill");
    printRatio(reporter, 32, "display round trip ratio", "BM_DisplayRoundTrip");
    printFigure(reporter, "window open+save default vs resave", "BM_WindowOverResaveDefault", "", true);
    printMs(reporter, "start with level ms", "BM_EditorStart/level:1");
    printMs(reporter, "start empty ms", "BM_EditorStart/level:0");
    printFigure(reporter, "start with level vs empty", "BM_EditorStart/level:1", "BM_EditorStart/level:0");
    printFigure(reporter, "idle cpu percent default", "BM_WindowIdleCpu", "", true);
    printFigure(reporter, "zoom 3x vs 1x cpu ratio", "BM_WindowZoomCpu/large:0", "", true);
    printFigure(reporter, "zoom 3x vs 1x cpu ratio, 1920x1080 view", "BM_WindowZoomCpu/large:1", "", true);
    printFigure(reporter, "open 3000 vs 300 images", "BM_WindowOpenImages/3000", "BM_WindowOpenImages/300");
    printMs(reporter, "open 3000 images ms", "BM_WindowOpenImages/3000");
    printMs(reporter, "open 3000 images, files written ms", "BM_WindowOpenImagesFilesWritten/3000");
    printFigure(reporter, "open 3000 vs 300 images, files written", "BM_WindowOpenImagesFilesWritten/3000",
                "BM_WindowOpenImagesFilesWritten/300");
    if (auto step = reporter.medians.find("BM_DragStep"); step != reporter.medians.end())
        std::printf("drag step us: %.2f\n", step->second * 1e6);
    else
        std::printf("drag step us: n/a\n");
    printFigure(reporter, "drag vs idle cpu ratio", "BM_DragCpu/dragging:1", "BM_DragCpu/dragging:0");
    return 0;
}
