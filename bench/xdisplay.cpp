#include "xdisplay.h"

#include "common/failure.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>

namespace bench {
namespace {

class Pipe {
public:
    Pipe() {
        if (pipe2(m_ends, O_CLOEXEC) != 0)
            throw nuvok::Failure("Cannot create a pipe: " + std::string(std::strerror(errno)));
    }
    ~Pipe() {
        closeWriteEnd();
        close(m_ends[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return m_ends[0]; }
    int writeEnd() const { return m_ends[1]; }
    void closeWriteEnd() {
        if (m_ends[1] >= 0)
            close(m_ends[1]);
        m_ends[1] = -1;
    }

private:
    int m_ends[2] = {-1, -1};
};

// The first line the server writes to the pipe: its display number.
std::string readDisplayNumber(int fd, std::chrono::milliseconds limit) {
    std::string text;
    const auto deadline = Clock::now() + limit;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char buffer[32];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(0, end);
}

bool windowManagerRunning(const std::string& display) {
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr)
        return false;
    const Atom check = XInternAtom(connection, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const bool found =
        XGetWindowProperty(connection, DefaultRootWindow(connection), check, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &remaining, &data) == Success &&
        count == 1;
    if (data != nullptr)
        XFree(data);
    XCloseDisplay(connection);
    return found;
}

} // namespace

PrivateDesktop::PrivateDesktop() {
    Pipe pipe;
    m_server = std::make_unique<ChildProcess>(ChildProcess::Options{
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
        environmentWith({}),
        m_home.path() + "/xvfb.log",
        pipe.writeEnd()});
    pipe.closeWriteEnd();
    const std::string number = readDisplayNumber(pipe.readEnd(), std::chrono::seconds(15));
    if (number.empty())
        throw nuvok::Failure("Xvfb did not start (see if it is installed: apt-get install xvfb)");
    m_display = ":" + number;

    m_windowManager = std::make_unique<ChildProcess>(ChildProcess::Options{
        {"icewm"},
        environmentWith({{"DISPLAY", m_display}, {"HOME", m_home.path()}}, {"WAYLAND_DISPLAY"}),
        m_home.path() + "/icewm.log"});
    if (!pollUntil([this] { return windowManagerRunning(m_display); }, std::chrono::seconds(15),
                   std::chrono::milliseconds(50)))
        throw nuvok::Failure("The icewm window manager did not start on " + m_display);
}

PrivateDesktop::~PrivateDesktop() {
    m_windowManager.reset();
    m_server.reset();
}

KeyTarget::KeyTarget(const std::string& display, const std::string& title) {
    m_connection = XOpenDisplay(display.c_str());
    if (m_connection == nullptr)
        throw nuvok::Failure("Cannot connect to the X display " + display);
    const int screen = DefaultScreen(m_connection);
    m_window =
        XCreateSimpleWindow(m_connection, RootWindow(m_connection, screen), 100, 100, 400, 300, 0,
                            BlackPixel(m_connection, screen), WhitePixel(m_connection, screen));
    XStoreName(m_connection, m_window, title.c_str());
    const Atom utf8 = XInternAtom(m_connection, "UTF8_STRING", False);
    XChangeProperty(m_connection, m_window, XInternAtom(m_connection, "_NET_WM_NAME", False), utf8,
                    8, PropModeReplace, reinterpret_cast<const unsigned char*>(title.c_str()),
                    static_cast<int>(title.size()));
    XSelectInput(m_connection, m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(m_connection, m_window);
    XSync(m_connection, False);
    // Programs find the window only once the window manager lists it.
    if (!pollUntil([this] { return listed(); }, std::chrono::seconds(10),
                   std::chrono::milliseconds(10))) {
        XDestroyWindow(m_connection, m_window);
        XCloseDisplay(m_connection);
        throw nuvok::Failure("The window manager did not take on the window \"" + title + "\"");
    }
}

bool KeyTarget::listed() {
    const Atom list = XInternAtom(m_connection, "_NET_CLIENT_LIST", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(m_connection, DefaultRootWindow(m_connection), list, 0, 1L << 16, False,
                           XA_WINDOW, &type, &format, &count, &remaining, &data) == Success &&
        format == 32) {
        // Format 32 properties arrive as longs.
        const auto* windows = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count && !found; ++i)
            found = static_cast<unsigned long>(windows[i]) == m_window;
    }
    if (data != nullptr)
        XFree(data);
    return found;
}

KeyTarget::~KeyTarget() {
    XDestroyWindow(m_connection, m_window);
    XCloseDisplay(m_connection);
}

bool KeyTarget::hasFocus() {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(m_connection, &focus, &revert);
    return focus == m_window;
}

void KeyTarget::drain() {
    XSync(m_connection, False);
    while (XPending(m_connection) > 0) {
        XEvent event;
        XNextEvent(m_connection, &event);
    }
}

std::optional<Clock::time_point> KeyTarget::waitForKey(int type, unsigned long keysym,
                                                       std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        while (XPending(m_connection) > 0) {
            XEvent event;
            XNextEvent(m_connection, &event);
            if (event.type == type && XLookupKeysym(&event.xkey, 0) == keysym)
                return Clock::now();
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd ready{ConnectionNumber(m_connection), POLLIN, 0};
        poll(&ready, 1, static_cast<int>(left.count()));
    }
}

std::optional<Clock::time_point> KeyTarget::waitForPress(unsigned long keysym,
                                                         std::chrono::milliseconds limit) {
    return waitForKey(KeyPress, keysym, limit);
}

bool KeyTarget::waitForRelease(unsigned long keysym, std::chrono::milliseconds limit) {
    return waitForKey(KeyRelease, keysym, limit).has_value();
}

} // namespace bench
