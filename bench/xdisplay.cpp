#include "xdisplay.h"

#include "common/failure.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

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

namespace {

// _NET_WM_NAME, else WM_NAME, as bytes (the toolkit writes UTF-8; its icon
// in the notification area has only the first).
std::string titleOf(Display* display, Window window) {
    std::string title;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 1024,
                           False, AnyPropertyType, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr && format == 8)
        title.assign(reinterpret_cast<const char*>(data), count);
    if (data != nullptr)
        XFree(data);
    if (!title.empty())
        return title;
    XTextProperty name{};
    if (XGetWMName(display, window, &name) && name.value != nullptr && name.format == 8)
        title.assign(reinterpret_cast<const char*>(name.value), name.nitems);
    if (name.value != nullptr)
        XFree(name.value);
    return title;
}

// Mapped windows with that title, the whole tree searched.
std::vector<Window> viewableTitled(Display* display, const std::string& title) {
    std::vector<Window> found;
    std::vector<Window> pending{DefaultRootWindow(display)};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes) &&
            attributes.map_state == IsViewable && titleOf(display, window) == title)
            found.push_back(window);
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            continue;
        pending.insert(pending.end(), children, children + count);
        if (children != nullptr)
            XFree(children);
    }
    return found;
}

int ignoreErrors(Display*, XErrorEvent*) {
    return 0; // windows come and go while the tree is read
}

} // namespace

bool showFromNotificationArea(const std::string& display, const std::string& iconTitle,
                              const std::string& windowTitle, std::chrono::milliseconds limit) {
    Display* connection = XOpenDisplay(display.c_str());
    if (connection == nullptr)
        return false;
    const XErrorHandler previous = XSetErrorHandler(&ignoreErrors);
    const auto shown = [&] { return !viewableTitled(connection, windowTitle).empty(); };
    const bool done = pollUntil(
        [&] {
            for (Window icon : viewableTitled(connection, iconTitle)) {
                XWindowAttributes attributes{};
                if (!XGetWindowAttributes(connection, icon, &attributes) || attributes.width > 48 ||
                    attributes.height > 48)
                    continue;
                int x = 0;
                int y = 0;
                Window child = None;
                XTranslateCoordinates(connection, icon, DefaultRootWindow(connection),
                                      attributes.width / 2, attributes.height / 2, &x, &y, &child);
                XTestFakeMotionEvent(connection, -1, x, y, CurrentTime);
                XTestFakeButtonEvent(connection, 1, True, CurrentTime);
                XTestFakeButtonEvent(connection, 1, False, CurrentTime);
                XSync(connection, False);
                return pollUntil(shown, std::chrono::milliseconds(1000),
                                 std::chrono::milliseconds(10));
            }
            return false;
        },
        limit, std::chrono::milliseconds(100));
    XSetErrorHandler(previous);
    XCloseDisplay(connection);
    return done;
}

} // namespace bench
