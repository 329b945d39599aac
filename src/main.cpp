#include "app.h"
#include "mainform.h"
#include "model/fileio.h"

int main(int argc, char** argv) {
    slv::ignoreFileSizeSignal();  // a write past ulimit -f fails with a message instead
    SlvApplication app(argc, argv);
    app.setApplicationName("slvedit");
    Tmain main;
    main.show();
    return app.exec();
}
