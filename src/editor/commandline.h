// The editor's command line, read before anything is put on the screen:
// --help and --version answer without a display, a wrong option ends the
// program with the usage, and the rest tells the window what to start with.
#pragma once

#include <string>
#include <vector>

namespace slv {

struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    std::string levelPath;        // the level package to open; empty when none
    int maxFps = -1;              // --max-fps N (0..1000); -1 when not given
    std::string wrong;            // for Action::Wrong: what is wrong, for the message
};

// Reads the arguments after the program name. The toolkit's own options
// (-platform NAME, -style NAME, -reverse, ...) are let through for it.
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The text of --help and of a wrong command line.
std::string commandLineUsage();
// The text of --version.
std::string versionText();

}  // namespace slv
