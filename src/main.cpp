#include <cstdio>
#include <string>
#include <vector>

#include "editor/application.h"
#include "editor/commandline.h"
#include "editor/firstframereport.h"
#include "editor/mainwindow.h"
#include "model/fileio.h"

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();  // a write past ulimit -f fails with a message instead
    // Help, the version and a wrong command line are answered before the
    // toolkit looks for a display.
    const slv::CommandLine line = slv::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case slv::CommandLine::Action::Help: std::fputs(slv::commandLineUsage().c_str(), stdout); return 0;
    case slv::CommandLine::Action::Version: std::fputs(slv::versionText().c_str(), stdout); return 0;
    case slv::CommandLine::Action::Wrong:
        std::fprintf(stderr, "slvedit: %s\n%s", line.wrong.c_str(), slv::commandLineUsage().c_str());
        return 2;
    case slv::CommandLine::Action::Run: break;
    }
    SlvApplication app(argc, argv);
    app.setApplicationName("slvedit");
    app.setDesktopFileName("org.slvedit.slvedit");  // ties the window to its installed desktop entry
    MainWindow main;
    FirstFrameReport::watchIfAsked(main);
    main.show();
    return app.exec();
}
