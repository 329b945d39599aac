#include "app.h"
#include "mainform.h"

int main(int argc, char** argv) {
    SlvApplication app(argc, argv);
    app.setApplicationName("slvedit");
    Tmain main;
    main.show();
    return app.exec();
}
