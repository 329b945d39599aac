// The editor's command line, form by form: what it asks the program to do,
// the level it opens and the frame-rate cap it sets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/error_text.h"
#include "editor/commandline.h"

namespace {

using Action = slv::CommandLine::Action;

struct Form {
    const char* name;
    std::vector<std::string> args;
    Action action;
    std::string level;
    int maxFps;
    const char* wrong;  // a part of the wrong-usage message, "" for none
};

void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

const Form kForms[] = {
    {"Nothing", {}, Action::Run, "", -1, ""},
    {"Help", {"--help"}, Action::Help, "", -1, ""},
    {"ShortHelp", {"-h"}, Action::Help, "", -1, ""},
    {"HelpAfterALevel", {"a.slv", "--help"}, Action::Help, "", -1, ""},
    {"Version", {"--version"}, Action::Version, "", -1, ""},
    {"VersionWinsOverWhatFollows", {"--version", "--bogus"}, Action::Version, "", -1, ""},
    {"UnknownLongOption", {"--bogus"}, Action::Wrong, "", -1, "unknown option \"--bogus\""},
    {"UnknownShortOption", {"-x"}, Action::Wrong, "", -1, "unknown option \"-x\""},
    {"UnknownOptionAfterALevel", {"a.slv", "--fullscreen"}, Action::Wrong, "", -1, "--fullscreen"},
    {"Level", {"city.slv"}, Action::Run, "city.slv", -1, ""},
    {"LevelWithPath", {"/home/ann/levels/city.slv"}, Action::Run, "/home/ann/levels/city.slv", -1, ""},
    {"LevelWithSpaces", {"my levels/a b.slv"}, Action::Run, "my levels/a b.slv", -1, ""},
    {"TwoLevels", {"a.slv", "b.slv"}, Action::Wrong, "a.slv", -1, "\"b.slv\" is one too many"},
    {"LevelAfterDoubleDash", {"--", "-odd.slv"}, Action::Run, "-odd.slv", -1, ""},
    {"SingleDashIsALevel", {"-"}, Action::Run, "-", -1, ""},
    {"EmptyArgumentsIgnored", {"", "a.slv", ""}, Action::Run, "a.slv", -1, ""},
    {"MaxFpsSeparate", {"--max-fps", "60"}, Action::Run, "", 60, ""},
    {"MaxFpsJoined", {"--max-fps=30"}, Action::Run, "", 30, ""},
    {"MaxFpsZeroMeansNoCap", {"--max-fps", "0"}, Action::Run, "", 0, ""},
    {"MaxFpsUpperLimit", {"--max-fps=1000"}, Action::Run, "", 1000, ""},
    {"MaxFpsOverLimit", {"--max-fps=1001"}, Action::Wrong, "", -1, "not \"1001\""},
    {"MaxFpsNotANumber", {"--max-fps", "fast"}, Action::Wrong, "", -1, "from 0 to 1000, not \"fast\""},
    {"MaxFpsNegative", {"--max-fps=-5"}, Action::Wrong, "", -1, "not \"-5\""},
    {"MaxFpsMissingValue", {"--max-fps"}, Action::Wrong, "", -1, "not \"\""},
    {"MaxFpsEmptyJoined", {"--max-fps="}, Action::Wrong, "", -1, "not \"\""},
    {"MaxFpsValueIsNotTakenAsLevel", {"--max-fps", "60", "a.slv"}, Action::Run, "a.slv", 60, ""},
    {"MaxFpsLastOneWins", {"--max-fps=10", "--max-fps=20"}, Action::Run, "", 20, ""},
    {"LevelThenMaxFps", {"a.slv", "--max-fps=45"}, Action::Run, "a.slv", 45, ""},
    {"ToolkitOptionWithValue", {"-platform", "offscreen", "a.slv"}, Action::Run, "a.slv", -1, ""},
    {"ToolkitStyleJoined", {"-style=fusion"}, Action::Run, "", -1, ""},
    {"ToolkitFlag", {"-reverse"}, Action::Run, "", -1, ""},
};

class CommandLineTest : public ::testing::TestWithParam<Form> {};

TEST_P(CommandLineTest, ReadsTheForm) {
    const Form& f = GetParam();
    const slv::CommandLine c = slv::parseCommandLine(f.args);
    EXPECT_EQ(c.action, f.action);
    if (f.action == Action::Run) {
        EXPECT_EQ(c.levelPath, f.level);
        EXPECT_EQ(c.maxFps, f.maxFps);
    }
    EXPECT_TRUE(mentions(c.wrong, f.wrong)) << c.wrong;
}

INSTANTIATE_TEST_SUITE_P(Forms, CommandLineTest, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
