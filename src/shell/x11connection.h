#pragma once

// The X11 back-end's one connection to the display server, kept for the
// program's life: opened on first use, opened anew when the server went away
// or DISPLAY changed, and read between keys by the caller's event loop.

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace nuvok::x11 {

// Whether the session is a Wayland one, where only XWayland programs are X11 windows.
bool waylandSession();

// Neither an X protocol error (a window closing while it is looked at), a lost
// connection nor a write to a closed socket may end the program. Xlib's
// handlers, which print and exit, are replaced and SIGPIPE is held back while
// one of the back-end's calls runs; a failed request shows in its own result,
// a lost connection in Connection::lost().
class CallScope {
public:
    CallScope();
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

private:
    XErrorHandler m_previous;
    XIOErrorHandler m_previousIo;
    sigset_t m_pipe;
    sigset_t m_previousMask;
    bool m_pipeWasPending = false;
};

// What keeps state read from the server: told of each new connection (select
// events, forget what the old one said) and of each event that arrives.
class ConnectionUser {
public:
    virtual ~ConnectionUser() = default;
    virtual void connected(Display* display) = 0;
    virtual void event(const XEvent& event) = 0;
};

class Connection {
public:
    // Told the descriptor to watch for reading whenever it changes; -1 when
    // there is no connection.
    using Watch = std::function<void(int descriptor)>;

    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Users are told in the order they were added; they outlive the connection.
    void addUser(ConnectionUser& user) { m_users.push_back(&user); }
    void setWatch(Watch watch);

    // The rest run inside a CallScope. `action` begins every failure text.

    // Makes sure there is a live connection to the display in DISPLAY, and
    // that every event that has arrived from the server has reached the
    // users. Costs no round trip on a connection already open: the event
    // loop reads the server's events between keys, and a server that went
    // away shows as the end of the stream. Throws Failure when no display
    // can be reached.
    void prepare(const std::string& action);
    // Throws Failure when the connection was lost since prepare().
    void check(const std::string& action) const;
    // The same after a round trip, which shows whether the server is still
    // there and brings the users every event sent before it.
    void sync(const std::string& action);
    // Takes in what has arrived without waiting; the event loop calls it when
    // the descriptor is readable. A lost connection is closed.
    void takeEvents();
    // Waits until events arrive or the deadline passes, and takes them in.
    void waitForEvents(std::chrono::steady_clock::time_point deadline);

    Display* display() const { return m_display; }
    Window root() const { return DefaultRootWindow(m_display); }
    Atom atom(const char* name);
    bool lost() const { return m_lost; }

private:
    void open(const std::string& action, const char* name);
    void close();
    void dispatchQueued();
    static void lostConnection(Display*, void* self);

    Display* m_display = nullptr;
    std::string m_name;
    bool m_lost = false;
    std::map<std::string, Atom, std::less<>> m_atoms;
    std::vector<ConnectionUser*> m_users;
    Watch m_watch;
};

} // namespace nuvok::x11
