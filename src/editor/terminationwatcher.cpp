#include "editor/terminationwatcher.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace slv {

namespace {

int g_sockets[2] = {-1, -1};

void onSignal(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing else is safe here; a full socket drops the byte, which only
    // loses a repeat of a signal already on its way.
    [[maybe_unused]] const ssize_t n = ::write(g_sockets[0], &byte, 1);
}

}  // namespace

TerminationWatcher& TerminationWatcher::instance() {
    static TerminationWatcher* watcher = new TerminationWatcher;
    return *watcher;
}

TerminationWatcher::TerminationWatcher() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_sockets) != 0) return;
    notifier_ = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char byte = 0;
        while (::read(g_sockets[1], &byte, 1) == 1) emit terminationRequested(byte);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(number, &action, nullptr);
}

}  // namespace slv
