// The benchmark program: runs every registered benchmark and ends with the
// frame-to-memcpy ratios of the display layer.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

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

void printRatio(const MedianReporter& rep, int bits, const char* label = "frame",
                const char* bench = "BM_DisplayFrame") {
    const std::string arg = "/" + std::to_string(bits);
    auto frame = rep.medians.find(bench + arg);
    auto copy = rep.medians.find("BM_DisplayMemcpy" + arg);
    if (frame == rep.medians.end() || copy == rep.medians.end() || copy->second <= 0)
        std::printf("%s ratio %dbpp: n/a\n", label, bits);
    else
        std::printf("%s ratio %dbpp: %.2f\n", label, bits, frame->second / copy->second);
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

}  // namespace

int main(int argc, char** argv) {
    // Fonts need an application object; no window is ever shown.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::fflush(stdout);
    printRatio(reporter, 32);
    printRatio(reporter, 16);
    printRatio(reporter, 32, "tick+present", "BM_DisplayTickPresent");
    printFigure(reporter, "window open+save vs resave", "BM_WindowOverResave", "", true);
    printFigure(reporter, "framecount with load 2880x64", "BM_FramecountWithLoad");
    printFigure(reporter, "window start-up to first frame", "BM_WindowStartup");
    printFigure(reporter, "open same-named 2000", "BM_PackageOpenSameNamed");
    return 0;
}
