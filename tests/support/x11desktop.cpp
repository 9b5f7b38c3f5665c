#include "support/x11desktop.h"

// After Qt's headers: Xlib defines macros (None, Bool, ...) that clash with them.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace nuvok::test {
namespace {

// The first item of a format-32 property, if it has one.
std::optional<long> firstLong(Display* display, Window window, Atom name, Atom type) {
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::optional<long> value;
    if (XGetWindowProperty(display, window, name, 0, 1, False, type, &actualType, &format, &count,
                           &remaining, &data) == Success &&
        data != nullptr && format == 32 && count >= 1)
        value = *reinterpret_cast<long*>(data);
    if (data != nullptr)
        XFree(data);
    return value;
}

// Windows come and go while the test looks at them; a request about one that
// has gone fails, which the callers see in its result.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

DesktopProbe::DesktopProbe() : m_display(XOpenDisplay(nullptr)) {
    XSetErrorHandler(&ignoreErrors);
}

DesktopProbe::~DesktopProbe() {
    if (m_display != nullptr)
        XCloseDisplay(m_display);
}

unsigned long DesktopProbe::activeWindow() const {
    const auto active = firstLong(m_display, DefaultRootWindow(m_display),
                                  XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW);
    return active ? static_cast<unsigned long>(*active) : 0;
}

bool DesktopProbe::notificationAreaThere() const {
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(m_display));
    return XGetSelectionOwner(m_display, XInternAtom(m_display, name.constData(), False)) != None;
}

void DesktopProbe::minimise(unsigned long window) const {
    XIconifyWindow(m_display, window, DefaultScreen(m_display));
    XFlush(m_display);
}

bool DesktopProbe::minimised(unsigned long window) const {
    const Atom wmState = XInternAtom(m_display, "WM_STATE", False);
    const auto state = firstLong(m_display, window, wmState, wmState);
    return state && *state == IconicState;
}

void DesktopProbe::moveToWorkspace(unsigned long window, long workspace) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "_NET_WM_DESKTOP", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = workspace;
    event.xclient.data.l[1] = 2;
    XSendEvent(m_display, DefaultRootWindow(m_display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(m_display);
}

long DesktopProbe::workspaceOf(unsigned long window) const {
    const auto workspace =
        firstLong(m_display, window, XInternAtom(m_display, "_NET_WM_DESKTOP", False), XA_CARDINAL);
    return workspace ? *workspace : -1;
}

long DesktopProbe::currentWorkspace() const {
    const auto workspace =
        firstLong(m_display, DefaultRootWindow(m_display),
                  XInternAtom(m_display, "_NET_CURRENT_DESKTOP", False), XA_CARDINAL);
    return workspace ? *workspace : -1;
}

int DesktopProbe::closeWindowsTitled(const QString& title) const {
    int asked = 0;
    visit(DefaultRootWindow(m_display), title.toUtf8(), asked);
    XFlush(m_display);
    return asked;
}

std::vector<unsigned long> DesktopProbe::managedWindows() const {
    std::vector<unsigned long> found;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display),
                           XInternAtom(m_display, "_NET_CLIENT_LIST", False), 0, 4096, False,
                           XA_WINDOW, &type, &format, &count, &remaining, &data) == Success &&
        data != nullptr && format == 32) {
        const auto* windows = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            found.push_back(static_cast<unsigned long>(windows[i]));
    }
    if (data != nullptr)
        XFree(data);
    return found;
}

std::vector<unsigned long> DesktopProbe::managedWindowsTitled(const QString& title) const {
    std::vector<unsigned long> found;
    for (unsigned long window : managedWindows())
        if (titleOf(window) == title.toUtf8())
            found.push_back(window);
    return found;
}

void DesktopProbe::close(unsigned long window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(m_display, window, False, NoEventMask, &event);
    XFlush(m_display);
}

std::vector<unsigned long> DesktopProbe::windowsTitled(const QString& title) const {
    std::vector<unsigned long> found;
    std::vector<Window> pending{DefaultRootWindow(m_display)};
    while (!pending.empty()) {
        const Window window = pending.back();
        pending.pop_back();
        if (titleOf(window) == title.toUtf8())
            found.push_back(window);
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
            continue;
        pending.insert(pending.end(), children, children + count);
        if (children != nullptr)
            XFree(children);
    }
    return found;
}

DesktopProbe::WindowView DesktopProbe::view(unsigned long window) const {
    WindowView seen;
    for (unsigned long managed : managedWindows())
        seen.managed = seen.managed || managed == window;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, window, &attributes))
        return seen;
    seen.viewable = attributes.map_state == IsViewable;
    const Atom wmState = XInternAtom(m_display, "WM_STATE", False);
    seen.wmState = firstLong(m_display, window, wmState, wmState).value_or(-1);
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child);
    seen.frame = QRect(x, y, attributes.width, attributes.height);
    // _NET_FRAME_EXTENTS: left, right, top, bottom
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_FRAME_EXTENTS", False),
                           0, 4, False, XA_CARDINAL, &type, &format, &count, &remaining,
                           &data) == Success &&
        data != nullptr && format == 32 && count == 4) {
        const auto* extents = reinterpret_cast<const long*>(data);
        seen.frame.adjust(int(-extents[0]), int(-extents[2]), int(extents[1]), int(extents[3]));
    }
    if (data != nullptr)
        XFree(data);
    return seen;
}

int DesktopProbe::layoutGroup() const {
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return state.group;
}

void DesktopProbe::lockLayoutGroup(int group) const {
    XkbLockGroup(m_display, XkbUseCoreKbd, static_cast<unsigned int>(group));
    XSync(m_display, False);
}

bool DesktopProbe::capsLocked() const {
    XkbStateRec state{};
    XkbGetState(m_display, XkbUseCoreKbd, &state);
    return (state.locked_mods & LockMask) != 0;
}

void DesktopProbe::lockCaps(bool locked) const {
    XkbLockModifiers(m_display, XkbUseCoreKbd, LockMask, locked ? LockMask : 0);
    XSync(m_display, False);
}

void DesktopProbe::visit(unsigned long window, const QByteArray& title, int& asked) const {
    if (titleOf(window) == title && takesDelete(window)) {
        close(window);
        ++asked;
    }
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(m_display, window, &root, &parent, &children, &count))
        return;
    for (unsigned int i = 0; i < count; ++i)
        visit(children[i], title, asked);
    if (children != nullptr)
        XFree(children);
}

QByteArray DesktopProbe::titleOf(unsigned long window) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    QByteArray title;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False), 0,
                           1024, False, XInternAtom(m_display, "UTF8_STRING", False), &type,
                           &format, &count, &remaining, &data) == Success &&
        data != nullptr && format == 8)
        title = QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
    if (data != nullptr)
        XFree(data);
    return title;
}

bool DesktopProbe::takesDelete(unsigned long window) const {
    Atom* protocols = nullptr;
    int count = 0;
    bool takes = false;
    if (XGetWMProtocols(m_display, window, &protocols, &count) && protocols != nullptr) {
        const Atom deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        for (int i = 0; i < count; ++i)
            takes = takes || protocols[i] == deleteWindow;
        XFree(protocols);
    }
    return takes;
}

} // namespace nuvok::test
