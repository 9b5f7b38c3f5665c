#include "xdisplay.h"

#include "common/failure.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>

namespace bench {
PrivateDesktop::PrivateDesktop() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0')
        throw nuvok::Failure("No X display: run the bench on a private desktop "
                             "(scripts/private-desktop.sh, as ./dev.sh bench does)");
    m_display = display;
    const char* windowManager = std::getenv("NUVOKRC_DESKTOP_WM");
    m_windowManager = windowManager != nullptr ? windowManager : "an unknown window manager";
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

bool KeyTarget::takeFocus() {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.window = m_window;
    event.xclient.message_type = XInternAtom(m_connection, "_NET_ACTIVE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_connection, DefaultRootWindow(m_connection), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_connection);
    return pollUntil([this] { return hasFocus(); }, std::chrono::seconds(5),
                     std::chrono::microseconds(200));
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
