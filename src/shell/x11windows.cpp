#include "shell/x11windows.h"

#include "common/failure.h"
#include "common/textcodec.h"
#include "shell/desktopcontrol.h"
#include "shell/titlematch.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>

namespace nuvok::x11 {
namespace {

// How long the window manager gets to hand the focus to an activated window.
constexpr auto kFocusTimeout = std::chrono::milliseconds(2000);
// The focus is watched through the server's events; this only bounds the wait
// for a change no event reports.
constexpr auto kFocusRecheck = std::chrono::milliseconds(50);

void sendRootMessage(Connection& x, Window window, Atom type, long l0, long l1) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.display = x.display();
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    XSendEvent(x.display(), x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

bool isSelfOrAncestor(Display* display, Window ancestor, Window window) {
    while (window != None && window != PointerRoot) {
        if (window == ancestor)
            return true;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return false;
        if (children != nullptr)
            XFree(children);
        if (parent == root)
            return false;
        window = parent;
    }
    return false;
}

// Keys go to the input focus, so that is what counts; the window manager may
// name the window active a moment before it moves the focus there.
bool hasInputFocus(Display* display, Window window) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return isSelfOrAncestor(display, window, focus);
}

void bringForward(Connection& x, WindowDirectory& windows, Window target) {
    // A window on another workspace: switch there first.
    const auto desktop = windows.cardinal(target, "_NET_WM_DESKTOP");
    const auto current = windows.cardinal(x.root(), "_NET_CURRENT_DESKTOP");
    if (desktop && current && *desktop != *current && *desktop != 0xFFFFFFFFL && *desktop != -1)
        sendRootMessage(x, x.root(), x.atom("_NET_CURRENT_DESKTOP"), *desktop, CurrentTime);
    // Source 2 (a pager) asks on the user's behalf, so focus-stealing
    // prevention lets it through.
    sendRootMessage(x, target, x.atom("_NET_ACTIVE_WINDOW"), 2, CurrentTime);
    XFlush(x.display());
}

} // namespace

void WindowDirectory::connected(Display*) {
    // What the previous connection selected and read went with it.
    m_properties.clear();
    m_watched.clear();
}

void WindowDirectory::event(const XEvent& event) {
    if (event.type == PropertyNotify) {
        m_properties.erase({event.xproperty.window, event.xproperty.atom});
    } else if (event.type == DestroyNotify) {
        // The server may hand its identifier to a window of another program.
        const Window gone = event.xdestroywindow.window;
        std::erase_if(m_properties,
                      [gone](const auto& entry) { return entry.first.first == gone; });
        m_watched.erase(gone);
    }
}

const WindowDirectory::Property* WindowDirectory::property(Window window, Atom name) {
    const auto key = std::pair{window, name};
    if (const auto known = m_properties.find(key); known != m_properties.end())
        return known->second ? &*known->second : nullptr;
    // Watched before it is read, so that no change slips in between.
    if (m_watched.insert(window).second)
        XSelectInput(m_x.display(), window,
                     window == m_x.root()
                         ? PropertyChangeMask
                         : PropertyChangeMask | FocusChangeMask | StructureNotifyMask);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(m_x.display(), window, name, 0, 1L << 20, False, AnyPropertyType, &type,
                           &format, &count, &remaining, &data);
    std::optional<Property> value;
    if (status == Success && type != None && data != nullptr) {
        // Format 32 properties arrive as longs.
        const std::size_t bytes = format == 32 ? count * sizeof(long) : count * (format / 8);
        value = Property{type, format, std::vector<unsigned char>(data, data + bytes), count};
    }
    if (data != nullptr)
        XFree(data);
    if (m_x.lost())
        return nullptr;
    const auto& stored = m_properties[key] = std::move(value);
    return stored ? &*stored : nullptr;
}

std::vector<Window> WindowDirectory::windowList(Window window, const char* name) {
    std::vector<Window> windows;
    const Property* list = property(window, m_x.atom(name));
    if (list != nullptr && list->type == XA_WINDOW && list->format == 32) {
        const auto* ids = reinterpret_cast<const long*>(list->data.data());
        for (unsigned long i = 0; i < list->count; ++i)
            windows.push_back(static_cast<Window>(ids[i]));
    }
    return windows;
}

void WindowDirectory::forgetAllBut(const std::vector<Window>& listed) {
    const auto unlisted = [&](Window window) {
        return window != m_x.root() &&
               std::find(listed.begin(), listed.end(), window) == listed.end();
    };
    std::erase_if(m_properties, [&](const auto& entry) { return unlisted(entry.first.first); });
    for (auto watched = m_watched.begin(); watched != m_watched.end();) {
        if (unlisted(*watched)) {
            // A window that is gone answers with an error, which is ignored.
            XSelectInput(m_x.display(), *watched, NoEventMask);
            watched = m_watched.erase(watched);
        } else {
            ++watched;
        }
    }
}

std::vector<Window> WindowDirectory::clientsTopDown() {
    std::vector<Window> windows = windowList(m_x.root(), "_NET_CLIENT_LIST_STACKING");
    if (windows.empty())
        windows = windowList(m_x.root(), "_NET_CLIENT_LIST");
    forgetAllBut(windows);
    // Listed bottom to top; topmost first, so the window used last wins among equals.
    std::reverse(windows.begin(), windows.end());
    return windows;
}

bool WindowDirectory::hasWindowManager() {
    return !windowList(m_x.root(), "_NET_SUPPORTING_WM_CHECK").empty();
}

std::string WindowDirectory::title(Window window) {
    const Atom utf8 = m_x.atom("UTF8_STRING");
    const auto text = [](const Property& property) {
        return std::string(reinterpret_cast<const char*>(property.data.data()), property.count);
    };
    // A _NET_WM_NAME of another type does not count; WM_NAME then says it.
    if (const Property* name = property(window, m_x.atom("_NET_WM_NAME"));
        name != nullptr && name->type == utf8 && name->format == 8 && name->count > 0)
        return text(*name);
    const Property* name = property(window, XA_WM_NAME);
    if (name == nullptr || name->format != 8)
        return {};
    if (name->type == utf8)
        return text(*name);
    if (name->type == XA_STRING) {
        std::string title;
        for (unsigned char c : name->data)
            appendUtf8(title, c);
        return title;
    }
    // Compound text and other encodings: let Xlib convert.
    std::vector<unsigned char> bytes = name->data;
    XTextProperty property{bytes.data(), name->type, name->format, name->count};
    char** list = nullptr;
    int count = 0;
    std::string title;
    if (Xutf8TextPropertyToTextList(m_x.display(), &property, &list, &count) >= Success &&
        list != nullptr) {
        if (count > 0)
            title = list[0];
        XFreeStringList(list);
    }
    return title;
}

std::optional<long> WindowDirectory::cardinal(Window window, const char* name) {
    const Property* value = property(window, m_x.atom(name));
    if (value == nullptr || value->type != XA_CARDINAL || value->format != 32 || value->count < 1)
        return std::nullopt;
    return reinterpret_cast<const long*>(value->data.data())[0];
}

bool WindowDirectory::isActive(Window window) {
    const std::vector<Window> active = windowList(m_x.root(), "_NET_ACTIVE_WINDOW");
    return !active.empty() && active.front() == window;
}

std::vector<std::string> windowTitles(Connection& x, WindowDirectory& windows,
                                      const std::vector<Window>& topDown,
                                      const std::string& action) {
    if (topDown.empty() && !x.lost() && !windows.hasWindowManager())
        throw WindowNotFound(action +
                             ": no window manager that lists its windows (EWMH) is running");
    std::vector<std::string> titles;
    titles.reserve(topDown.size());
    for (Window window : topDown)
        titles.push_back(windows.title(window));
    x.check(action);
    return titles;
}

void activateWindow(Connection& x, WindowDirectory& windows, const std::string& title,
                    const std::string& action) {
    const std::vector<Window> topDown = windows.clientsTopDown();
    const std::vector<std::string> titles = windowTitles(x, windows, topDown, action);

    std::size_t index = 0;
    try {
        index = matchWindowTitle(titles, title);
    } catch (const WindowNotFound& failure) {
        if (waylandSession())
            throw WindowNotFound(failure.description() +
                                 "; on Wayland only programs running under XWayland can be found");
        throw;
    }
    const Window target = topDown[index];
    bringForward(x, windows, target);
    x.check(action);

    const auto deadline = std::chrono::steady_clock::now() + kFocusTimeout;
    while (!hasInputFocus(x.display(), target)) {
        x.check(action);
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            // Some window managers keep the focus on a window of their own
            // and pass keys on to the active one.
            x.sync(action);
            if (windows.isActive(target))
                return;
            if (waylandSession())
                throw Failure(action +
                              ": the Wayland compositor did not give it the focus (on Wayland "
                              "a program may not bring another program's window to the front)");
            throw Failure(action + ": the window manager did not give it the focus");
        }
        x.waitForEvents(std::min(deadline, now + kFocusRecheck));
    }
    x.check(action);
}

} // namespace nuvok::x11
