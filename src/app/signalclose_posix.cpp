#include "app/signalclose.h"

#include "app/f_nuvokrc.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// Where the handler reports a request; the handler may only make system calls
// such as write, so the window is closed from the event loop that reads it.
volatile std::sig_atomic_t g_requestFd = -1;

extern "C" void onEndRequest(int) {
    const int savedErrno = errno;
    const char request = 1;
    // A full buffer already holds a request that has not been read yet.
    [[maybe_unused]] const ssize_t written = ::write(g_requestFd, &request, 1);
    errno = savedErrno;
}

} // namespace

struct SignalClose::Watch {
    int fds[2] = {-1, -1}; // written by the handler, read by the event loop
    std::unique_ptr<QSocketNotifier> notifier;
    struct sigaction previous[std::size(kSignals)] = {};
    bool installed = false;
};

SignalClose::SignalClose(F_NUVOKrc& window) : m_watch(std::make_unique<Watch>()) {
    Watch& watch = *m_watch;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, watch.fds) != 0) {
        window.logData(QStringLiteral("SIGTERM and SIGINT will end the program without closing "
                                      "the window: no socket pair (%1)")
                           .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    watch.notifier = std::make_unique<QSocketNotifier>(watch.fds[1], QSocketNotifier::Read);
    QObject::connect(watch.notifier.get(), &QSocketNotifier::activated, &window,
                     [&window, fd = watch.fds[1]] {
                         char requests[64];
                         while (::read(fd, requests, sizeof requests) > 0) {
                         }
                         window.reportFailures([&window] { window.close(); });
                     });
    g_requestFd = watch.fds[0];
    struct sigaction action = {};
    action.sa_handler = &onEndRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &watch.previous[i]);
    watch.installed = true;
}

SignalClose::~SignalClose() {
    Watch& watch = *m_watch;
    if (watch.installed)
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &watch.previous[i], nullptr);
    g_requestFd = -1;
    watch.notifier.reset();
    for (int fd : watch.fds)
        if (fd >= 0)
            ::close(fd);
}
