// Termination signals (SIGTERM, SIGHUP, SIGINT) turned into a Qt signal on
// the window's thread: the signal handler only writes a byte to a socket the
// event loop watches, and the editor does its work from the loop.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace slv {

class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    // The one watcher of the process, made (and the handlers installed) on
    // first use.
    static TerminationWatcher& instance();

signals:
    void terminationRequested(int signalNumber);

private:
    TerminationWatcher();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace slv
