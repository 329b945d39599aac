// The editor program started with a wrong command line: it prints what is
// wrong and the usage to the error output and exits with status 2 before
// it looks for a display. The program runs with no display at all and the
// X11 platform asked for, so one that went on to open its window would
// die of the missing display instead of exiting 2.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/tempdir.h"

namespace {

struct ProgramRun {
    int exitStatus = -1;  // -1 when it did not exit by itself
    int signal = 0;       // the signal that ended it, if one did
    std::string out, err;
};

std::string readAll(int fd) {
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

// Runs the editor in `folder` with `args`, no display and a time limit.
ProgramRun runEditor(const std::vector<std::string>& args, const std::string& folder) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::alarm(20);  // an editor that went on is ended
        std::vector<char*> argv{const_cast<char*>(SLVEDIT_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(SLVEDIT_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ProgramRun r;
    // The usage is far smaller than a pipe holds: one pipe read after the
    // other cannot block the program.
    r.out = readAll(out[0]);
    r.err = readAll(err[0]);
    ::close(out[0]);
    ::close(err[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) r.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    return r;
}

struct WrongLine {
    const char* name;
    std::vector<std::string> args;
    const char* complaint;  // the first line of the error output
};

void PrintTo(const WrongLine& w, std::ostream* os) { *os << w.name; }

const WrongLine kWrongLines[] = {
    {"MaxFpsNotANumber", {"--max-fps", "abc"}, "slvedit: --max-fps needs a number from 0 to 1000, not \"abc\"\n"},
    {"MaxFpsNegative", {"--max-fps", "-1"}, "slvedit: --max-fps needs a number from 0 to 1000, not \"-1\"\n"},
    {"MaxFpsOverLimit", {"--max-fps=1001"}, "slvedit: --max-fps needs a number from 0 to 1000, not \"1001\"\n"},
    {"MaxFpsEmpty", {"--max-fps", ""}, "slvedit: --max-fps needs a number from 0 to 1000, not \"\"\n"},
    {"MaxFpsLast", {"a.slv", "--max-fps"}, "slvedit: --max-fps needs a number from 0 to 1000, not \"\"\n"},
    {"BadValueAfterAGoodOne", {"--max-fps=60", "--max-fps=6x"},
     "slvedit: --max-fps needs a number from 0 to 1000, not \"6x\"\n"},
    {"UnknownOption", {"--bogus"}, "slvedit: unknown option \"--bogus\"\n"},
    {"TwoLevels", {"a.slv", "b.slv"}, "slvedit: one level at a time: \"b.slv\" is one too many\n"},
};

class WrongCommandLine : public ::testing::TestWithParam<WrongLine> {};

TEST_P(WrongCommandLine, PrintsTheUsageAndExitsTwoWithoutADisplay) {
    const WrongLine& w = GetParam();
    slvtest::TempDir folder;
    const ProgramRun r = runEditor(w.args, folder.path().string());
    EXPECT_EQ(r.exitStatus, 2) << "ended by signal " << r.signal << "; error output:\n" << r.err;
    EXPECT_EQ(r.out, "");
    const std::string usage = "Usage: slvedit [OPTION]... [LEVEL.slv]\n";
    EXPECT_EQ(r.err.substr(0, std::string(w.complaint).size() + usage.size()), w.complaint + usage) << r.err;
    EXPECT_NE(r.err.find("Exit status:"), std::string::npos) << "the whole usage follows";
    // Nothing of the editor's was set up: no home folder, no session.
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(Lines, WrongCommandLine, ::testing::ValuesIn(kWrongLines),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
