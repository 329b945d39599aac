#include "editor/commandline.h"

#include <array>
#include <string_view>

#include "version.h"

namespace slv {

namespace {

// The toolkit's options that take the next argument as their value.
constexpr std::array<std::string_view, 13> kToolkitOptionsWithValue = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowicon",
    "-qwindowtitle", "-style", "-stylesheet", "-display", "-geometry", "-session", "-title"};
// The toolkit's options that stand alone.
constexpr std::array<std::string_view, 4> kToolkitFlags = {"-reverse", "-widgetcount", "-nograb", "-dograb"};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& list, std::string_view word) {
    for (std::string_view w : list)
        if (w == word) return true;
    return false;
}

// A frame-rate cap: a whole number 0..1000, spaces around it allowed; -1 otherwise.
int frameRateCap(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text.size() > 4) return -1;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n <= 1000 ? n : -1;
}

CommandLine wrongLine(std::string why) {
    CommandLine c;
    c.action = CommandLine::Action::Wrong;
    c.wrong = std::move(why);
    return c;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty()) continue;
        const bool option = !optionsEnded && a.size() > 1 && a[0] == '-';
        if (!option) {
            if (!c.levelPath.empty()) return wrongLine("one level at a time: \"" + a + "\" is one too many");
            c.levelPath = a;
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            c.action = CommandLine::Action::Help;
            return c;
        } else if (a == "--version") {
            c.action = CommandLine::Action::Version;
            return c;
        } else if (a == "--max-fps" || a.rfind("--max-fps=", 0) == 0) {
            std::string value;
            if (a.size() > 9) value = a.substr(10);
            else if (i + 1 < args.size()) value = args[++i];
            c.maxFps = frameRateCap(value);
            if (c.maxFps < 0) return wrongLine("--max-fps needs a number from 0 to 1000, not \"" + value + "\"");
        } else if (among(kToolkitOptionsWithValue, a)) {
            ++i;
        } else if (among(kToolkitFlags, a) || a.rfind("-style=", 0) == 0) {
        } else {
            return wrongLine("unknown option \"" + a + "\"");
        }
    }
    return c;
}

std::string commandLineUsage() {
    return "Usage: slvedit [OPTION]... [LEVEL.slv]\n"
           "Edit the stages, sprites and sectors of a sublevel; open LEVEL.slv when given.\n"
           "\n"
           "Options:\n"
           "  --max-fps N    redraw the scene at most N times a second (1 to 1000), or as\n"
           "                 often as the editor is idle (0); without it, at the\n"
           "                 display's refresh rate. Wins over the home folder's maxfps.txt\n"
           "  -h, --help     show this text and exit\n"
           "  --version      show the version and exit\n"
           "\n"
           "The home folder holds the editor's pictures and settings. It is the folder\n"
           "named in ~/.config/corvatel.txt; else the folder the editor is started from,\n"
           "when that holds any of them or the editor runs from its build folder; else\n"
           "~/.local/share/slvedit/home, which the first start makes from the installed\n"
           "demo.\n"
           "\n"
           "Exit status: 0 when the editor closed normally, or was ended by SIGTERM, SIGHUP\n"
           "or SIGINT after keeping unsaved changes in a recovery copy; 2 for a wrong\n"
           "command line (an unknown option, two levels, a --max-fps value that is not\n"
           "a number from 0 to 1000).\n";
}

std::string versionText() { return std::string("slvedit ") + SLV_VERSION + "\n"; }

}  // namespace slv
