#include "editor/application.h"

#include <exception>

#include "editor/uiservices.h"

SlvApplication::SlvApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SlvApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        slv::UiServices::instance().error(activeWindow(), QString::fromUtf8(e.what()));
    } catch (...) {
        slv::UiServices::instance().error(activeWindow(), QStringLiteral("Unknown error"));
    }
    return false;
}
