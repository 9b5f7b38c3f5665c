#include "shell/x11connection.h"

#include "common/failure.h"
#include "shell/desktopcontrol.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <poll.h>
#include <pthread.h>

namespace nuvok::x11 {
namespace {

int ignoreError(Display*, XErrorEvent*) {
    return 0;
}
int ignoreIoError(Display*) {
    return 0;
}

} // namespace

bool waylandSession() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0';
}

CallScope::CallScope()
    : m_previous(XSetErrorHandler(&ignoreError)), m_previousIo(XSetIOErrorHandler(&ignoreIoError)) {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_pipeWasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previousMask);
}

CallScope::~CallScope() {
    // A SIGPIPE raised meanwhile is taken without effect: the lost connection
    // is reported as a failure instead.
    sigset_t pending;
    sigpending(&pending);
    if (!m_pipeWasPending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec noWait{};
        sigtimedwait(&m_pipe, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
    XSetIOErrorHandler(m_previousIo);
    XSetErrorHandler(m_previous);
}

Connection::~Connection() {
    const CallScope scope;
    close();
}

void Connection::setWatch(Watch watch) {
    m_watch = std::move(watch);
    if (m_watch && m_display != nullptr && !m_lost)
        m_watch(ConnectionNumber(m_display));
}

void Connection::prepare(const std::string& action) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') {
        close();
        if (waylandSession())
            throw WindowNotFound(action +
                                 ": this Wayland session offers no X11 display (XWayland), and "
                                 "other programs' windows can only be reached through X11");
        throw WindowNotFound(action + ": no X11 display is available (DISPLAY is not set)");
    }
    if (m_display != nullptr && m_name != name)
        close();
    // A server that went away since the last key shows as an end of the
    // stream here; its successor gets a new connection.
    if (m_display != nullptr) {
        takeEvents();
        if (m_display != nullptr) {
            check(action);
            return;
        }
    }
    open(action, name);
    // A new connection: what its users selected and read is in place, and the
    // server is known to answer.
    sync(action);
}

void Connection::open(const std::string& action, const char* name) {
    m_display = XOpenDisplay(name);
    if (m_display == nullptr)
        throw WindowNotFound(action + ": cannot connect to the X11 display \"" + name + "\"");
    m_name = name;
    m_lost = false;
    // Returning instead of exiting leaves the connection marked dead.
    XSetIOErrorExitHandler(m_display, &Connection::lostConnection, this);
    for (ConnectionUser* user : m_users)
        user->connected(m_display);
    if (m_watch)
        m_watch(ConnectionNumber(m_display));
}

void Connection::close() {
    if (m_display == nullptr)
        return;
    // The watcher lets go of the descriptor before it is closed.
    if (m_watch)
        m_watch(-1);
    // Safe on a lost connection too: Xlib then only frees its structures.
    XCloseDisplay(m_display);
    m_display = nullptr;
    m_lost = false;
    m_atoms.clear();
}

void Connection::lostConnection(Display*, void* self) {
    static_cast<Connection*>(self)->m_lost = true;
}

void Connection::check(const std::string& action) const {
    if (m_lost)
        throw Failure(action + ": the connection to the X11 display was lost");
}

void Connection::sync(const std::string& action) {
    check(action);
    XSync(m_display, False);
    dispatchQueued();
    check(action);
}

void Connection::dispatchQueued() {
    while (!m_lost && XEventsQueued(m_display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        for (ConnectionUser* user : m_users)
            user->event(event);
    }
}

void Connection::takeEvents() {
    if (m_display == nullptr)
        return;
    if (!m_lost)
        XEventsQueued(m_display, QueuedAfterReading);
    dispatchQueued();
    if (m_lost)
        close();
}

void Connection::waitForEvents(std::chrono::steady_clock::time_point deadline) {
    if (m_lost)
        return;
    if (XEventsQueued(m_display, QueuedAfterFlush) == 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{ConnectionNumber(m_display), POLLIN, 0};
        if (left.count() > 0 && poll(&watched, 1, static_cast<int>(left.count())) > 0)
            XEventsQueued(m_display, QueuedAfterReading);
    }
    dispatchQueued();
}

Atom Connection::atom(const char* name) {
    const auto known = m_atoms.find(name);
    if (known != m_atoms.end())
        return known->second;
    const Atom atom = XInternAtom(m_display, name, False);
    m_atoms.emplace(name, atom);
    return atom;
}

} // namespace nuvok::x11
