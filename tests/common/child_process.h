// Runs a piece of test code in a forked child: for limits that must not
// touch the test program (setrlimit), for code that might hang (a time
// limit ends it), and for permission checks that root would bypass (the
// child drops to an unprivileged user).
#pragma once

#include <csignal>
#include <cstring>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace slvtest {

// The user an unprivileged child runs as when the tests run as root.
constexpr uid_t kNobody = 65534;

inline bool runningAsRoot() { return ::geteuid() == 0; }

struct ChildOptions {
    unsigned timeoutSeconds = 5;  // the child is ended after this long
    bool unprivileged = false;    // run as kNobody when the tests run as root
};

// Runs `body` in a child process and returns what it returned: empty for
// success, else a description of what went wrong. A child that dies or
// runs past its time gives a description of that.
inline std::string inChild(const std::function<std::string()>& body, ChildOptions opt = {}) {
    int fds[2];
    if (::pipe(fds) != 0) return "pipe failed";
    pid_t pid = ::fork();
    if (pid < 0) return "fork failed";
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(opt.timeoutSeconds);
        std::string result;
        if (opt.unprivileged && runningAsRoot() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            result = "cannot drop privileges";
        if (result.empty()) {
            try {
                result = body();
            } catch (const std::exception& e) {
                result = std::string("uncaught exception: ") + e.what();
            }
        }
        std::size_t done = 0;
        while (done < result.size()) {
            ssize_t w = ::write(fds[1], result.data() + done, result.size() - done);
            if (w <= 0) break;
            done += static_cast<std::size_t>(w);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    ssize_t r;
    while ((r = ::read(fds[0], buf, sizeof buf)) != 0) {
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        out.append(buf, static_cast<std::size_t>(r));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        return sig == SIGALRM ? "the child ran out of time" : std::string("the child died of ") + ::strsignal(sig);
    }
    return out;
}

}  // namespace slvtest
