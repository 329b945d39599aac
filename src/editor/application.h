// The application object: one place where an error that no handler caught
// is shown to the author, after which the program goes on.
#pragma once

#include <QApplication>

class SlvApplication : public QApplication {
public:
    SlvApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
