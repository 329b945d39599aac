#include "editor/application.h"
#include "editor/firstframereport.h"
#include "editor/mainwindow.h"
#include "model/fileio.h"

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();  // a write past ulimit -f fails with a message instead
    SlvApplication app(argc, argv);
    app.setApplicationName("slvedit");
    MainWindow main;
    FirstFrameReport::watchIfAsked(main);
    main.show();
    return app.exec();
}
