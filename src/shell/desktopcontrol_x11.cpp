// X11 back-end: windows are found through the window manager's client list
// (EWMH), brought forward with a _NET_ACTIVE_WINDOW request and typed into with
// XTEST, which reaches programs that ignore synthesised events.
#include "shell/desktopcontrol.h"

#include "common/failure.h"
#include "shell/keystrokes.h"
#include "shell/titlematch.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <pthread.h>
#include <thread>
#include <vector>

namespace nuvok {
namespace {

// How long the window manager gets to hand the focus to an activated window.
constexpr auto kFocusTimeout = std::chrono::milliseconds(2000);
constexpr auto kFocusPoll = std::chrono::milliseconds(5);

bool onWayland() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0';
}

// Neither an X protocol error (a window closing while it is looked at) nor a
// lost connection may end the program, so Xlib's handlers, which print and
// exit, are replaced while an operation runs. A failed request shows in its
// own result; a lost connection is reported by the exit handler.
class ErrorTrap {
public:
    ErrorTrap()
        : m_previous(XSetErrorHandler(&ErrorTrap::ignore)),
          m_previousIo(XSetIOErrorHandler(&ErrorTrap::ignoreIo)) {}
    ~ErrorTrap() {
        XSetIOErrorHandler(m_previousIo);
        XSetErrorHandler(m_previous);
    }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;

private:
    static int ignore(Display*, XErrorEvent*) { return 0; }
    static int ignoreIo(Display*) { return 0; }
    XErrorHandler m_previous;
    XIOErrorHandler m_previousIo;
};

// Writing to a connection the display server has closed raises SIGPIPE, whose
// default action ends the program. It is held back for this thread while an
// operation runs, and one raised meanwhile is taken without effect: the lost
// connection is reported as a failure instead.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (!m_wasPending && sigismember(&pending, SIGPIPE) == 1) {
            const timespec noWait{};
            sigtimedwait(&m_pipe, nullptr, &noWait);
        }
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t m_pipe;
    sigset_t m_previous;
    bool m_wasPending = false;
};

// One connection per operation: a display that went away since the last key
// costs nothing, and a lost connection does not end the program.
class Connection {
public:
    explicit Connection(const std::string& action) {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || *name == '\0') {
            if (onWayland())
                throw Failure(action + ": this Wayland session offers no X11 display (XWayland), "
                                       "and other programs' windows can only be reached through "
                                       "X11");
            throw Failure(action + ": no X11 display is available (DISPLAY is not set)");
        }
        m_display = XOpenDisplay(nullptr);
        if (m_display == nullptr)
            throw Failure(action + ": cannot connect to the X11 display \"" + name + "\"");
        XSetIOErrorExitHandler(m_display, &Connection::lost, nullptr);
        s_lost = false;
    }
    // Safe on a lost connection too: Xlib then only frees its structures.
    ~Connection() { XCloseDisplay(m_display); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* display() const { return m_display; }
    Window root() const { return DefaultRootWindow(m_display); }
    Atom atom(const char* name) const { return XInternAtom(m_display, name, False); }
    static bool lost() { return s_lost; }

private:
    // Returning instead of exiting leaves the connection marked dead.
    static void lost(Display*, void*) { s_lost = true; }
    static inline bool s_lost = false;
    // Both outlive the display, whose closing may still write and report errors.
    ErrorTrap m_trap;
    SigpipeGuard m_pipeGuard;
    Display* m_display = nullptr;
};

struct XFreeDeleter {
    void operator()(unsigned char* data) const {
        if (data != nullptr)
            XFree(data);
    }
};
using XData = std::unique_ptr<unsigned char, XFreeDeleter>;

struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    XData data;
};

std::optional<Property> readProperty(const Connection& x, Window window, Atom name,
                                     Atom type = AnyPropertyType) {
    Property property;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    const int status =
        XGetWindowProperty(x.display(), window, name, 0, 1L << 20, False, type, &property.type,
                           &property.format, &property.count, &remaining, &data);
    property.data.reset(data);
    if (status != Success || property.type == None || property.data == nullptr)
        return std::nullopt;
    return property;
}

std::vector<Window> windowList(const Connection& x, Atom name) {
    std::vector<Window> windows;
    const auto property = readProperty(x, x.root(), name, XA_WINDOW);
    if (property && property->format == 32) {
        // Format 32 properties arrive as longs.
        const auto* ids = reinterpret_cast<const long*>(property->data.get());
        for (unsigned long i = 0; i < property->count; ++i)
            windows.push_back(static_cast<Window>(ids[i]));
    }
    return windows;
}

std::optional<long> cardinal(const Connection& x, Window window, Atom name) {
    const auto property = readProperty(x, window, name, XA_CARDINAL);
    if (!property || property->format != 32 || property->count < 1)
        return std::nullopt;
    return reinterpret_cast<const long*>(property->data.get())[0];
}

std::string latin1ToUtf8(const unsigned char* text, unsigned long length) {
    std::string out;
    for (unsigned long i = 0; i < length; ++i) {
        const unsigned char c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string windowTitle(const Connection& x, Window window) {
    const Atom utf8 = x.atom("UTF8_STRING");
    // A _NET_WM_NAME of another type arrives empty; WM_NAME then says it.
    if (const auto name = readProperty(x, window, x.atom("_NET_WM_NAME"), utf8);
        name && name->type == utf8 && name->format == 8 && name->count > 0)
        return std::string(reinterpret_cast<const char*>(name->data.get()), name->count);
    const auto name = readProperty(x, window, XA_WM_NAME);
    if (!name || name->format != 8)
        return {};
    if (name->type == XA_STRING)
        return latin1ToUtf8(name->data.get(), name->count);
    if (name->type == utf8)
        return std::string(reinterpret_cast<const char*>(name->data.get()), name->count);
    // Compound text and other encodings: let Xlib convert.
    XTextProperty text{name->data.get(), name->type, name->format, name->count};
    char** list = nullptr;
    int count = 0;
    std::string title;
    if (Xutf8TextPropertyToTextList(x.display(), &text, &list, &count) >= Success && list) {
        if (count > 0)
            title = list[0];
        XFreeStringList(list);
    }
    return title;
}

void sendRootMessage(const Connection& x, Window window, Atom type, long l0, long l1) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.serial = 0;
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

bool isSelfOrAncestor(const Connection& x, Window ancestor, Window window) {
    while (window != None && window != PointerRoot) {
        if (window == ancestor)
            return true;
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(x.display(), window, &root, &parent, &children, &count))
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
bool hasInputFocus(const Connection& x, Window window) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(x.display(), &focus, &revert);
    return isSelfOrAncestor(x, window, focus);
}

bool isActive(const Connection& x, Window window) {
    const auto active = windowList(x, x.atom("_NET_ACTIVE_WINDOW"));
    return !active.empty() && active.front() == window;
}

KeySym keySymOf(const Keystroke& key) {
    switch (key.named) {
    case NamedKey::Character:
        // Latin-1 characters are their own key symbols; the rest use the Unicode range.
        if ((key.character >= 0x20 && key.character <= 0x7E) ||
            (key.character >= 0xA0 && key.character <= 0xFF))
            return key.character;
        return 0x01000000 | key.character;
    case NamedKey::Enter:
        return XK_Return;
    case NamedKey::Tab:
        return XK_Tab;
    case NamedKey::Escape:
        return XK_Escape;
    case NamedKey::Backspace:
        return XK_BackSpace;
    case NamedKey::Delete:
        return XK_Delete;
    case NamedKey::Insert:
        return XK_Insert;
    case NamedKey::Home:
        return XK_Home;
    case NamedKey::End:
        return XK_End;
    case NamedKey::PageUp:
        return XK_Prior;
    case NamedKey::PageDown:
        return XK_Next;
    case NamedKey::Left:
        return XK_Left;
    case NamedKey::Right:
        return XK_Right;
    case NamedKey::Up:
        return XK_Up;
    case NamedKey::Down:
        return XK_Down;
    default:
        return XK_F1 + (static_cast<int>(key.named) - static_cast<int>(NamedKey::F1));
    }
}

// Where a key symbol is on the keyboard: the key, the layout (XKB group) it is
// typed in, and whether with Shift.
struct KeyPlace {
    KeyCode code = 0;
    int group = 0;
    bool shifted = false;
};

// The keyboard layouts and the current state, read once per operation.
class Keyboard {
public:
    explicit Keyboard(Display* display)
        : m_map(XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd)) {
        XkbStateRec state{};
        if (m_map != nullptr && XkbGetState(display, XkbUseCoreKbd, &state) == Success) {
            m_group = state.group;
            // Caps Lock turns a plain letter into a capital, so it counts.
            m_lockedMods = state.locked_mods;
        }
    }
    ~Keyboard() {
        if (m_map != nullptr)
            XkbFreeKeyboard(m_map, 0, True);
    }
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    bool available() const { return m_map != nullptr; }
    int group() const { return m_group; }

    // Prefers the layout in use and keys without Shift; another layout is
    // used only for a symbol the current one lacks.
    std::optional<KeyPlace> find(KeySym sym) const {
        std::vector<int> groups{m_group};
        for (int group = 0; group < XkbNumKbdGroups; ++group)
            if (group != m_group)
                groups.push_back(group);
        for (int group : groups) {
            for (bool shifted : {false, true}) {
                for (int code = m_map->min_key_code; code <= m_map->max_key_code; ++code) {
                    if (symbolOf(static_cast<KeyCode>(code), group, shifted) == sym)
                        return KeyPlace{static_cast<KeyCode>(code), group, shifted};
                }
            }
        }
        return std::nullopt;
    }

private:
    // What the key types in that group; XKB wraps groups a key lacks, as the
    // server does.
    KeySym symbolOf(KeyCode code, int group, bool shifted) const {
        const unsigned int mods = m_lockedMods | (shifted ? ShiftMask : 0U);
        unsigned int consumed = 0;
        KeySym sym = NoSymbol;
        if (!XkbTranslateKeyCode(m_map, code, XkbBuildCoreState(mods, group), &consumed, &sym))
            return NoSymbol;
        return sym;
    }

    XkbDescPtr m_map;
    int m_group = 0;
    unsigned int m_lockedMods = 0;
};

std::string describe(const Keystroke& key, KeySym sym) {
    if (key.named != NamedKey::Character) {
        const char* name = XKeysymToString(sym);
        return std::string("the key ") + (name != nullptr ? name : "?");
    }
    std::string text;
    const char32_t c = key.character;
    if (c < 0x80) {
        text = static_cast<char>(c);
    } else {
        // Enough for a message: re-encode as UTF-8.
        if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
        } else {
            if (c < 0x10000) {
                text += static_cast<char>(0xE0 | (c >> 12));
            } else {
                text += static_cast<char>(0xF0 | (c >> 18));
                text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            }
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
    return "\"" + text + "\"";
}

class X11DesktopControl : public DesktopControl {
public:
    void activateWindow(const std::string& title) override {
        const std::string action = "Cannot bring the window \"" + title + "\" to the front";
        if (title.empty())
            matchWindowTitle(std::vector<std::string>{}, title); // throws the usual description
        Connection x(action);
        std::vector<Window> windows = windowList(x, x.atom("_NET_CLIENT_LIST_STACKING"));
        if (windows.empty())
            windows = windowList(x, x.atom("_NET_CLIENT_LIST"));
        if (windows.empty() && !Connection::lost() &&
            windowList(x, x.atom("_NET_SUPPORTING_WM_CHECK")).empty())
            throw Failure(action + ": no window manager that lists its windows (EWMH) is running");
        // Topmost first, so the window used last wins among equals.
        std::vector<Window> topDown(windows.rbegin(), windows.rend());
        std::vector<std::string> titles;
        titles.reserve(topDown.size());
        for (Window window : topDown)
            titles.push_back(windowTitle(x, window));
        checkConnection(x, action);

        std::size_t index = 0;
        try {
            index = matchWindowTitle(titles, title);
        } catch (const Failure& failure) {
            if (onWayland())
                throw Failure(failure.description() +
                              "; on Wayland only programs running under XWayland can be found");
            throw;
        }
        const Window target = topDown[index];
        bringForward(x, target);
        checkConnection(x, action);

        const auto deadline = std::chrono::steady_clock::now() + kFocusTimeout;
        while (!hasInputFocus(x, target)) {
            checkConnection(x, action);
            if (std::chrono::steady_clock::now() >= deadline) {
                // Some window managers keep the focus on a window of their
                // own and pass keys on to the active one.
                if (isActive(x, target))
                    return;
                throw Failure(action + ": the window manager did not give it the focus");
            }
            std::this_thread::sleep_for(kFocusPoll);
        }
        checkConnection(x, action);
    }

    void sendKeys(const std::string& keys) override {
        const std::vector<Keystroke> strokes = parseKeystrokes(keys);
        const std::string action = "Cannot type the keystrokes \"" + keys + "\"";
        Connection x(action);
        int event = 0;
        int error = 0;
        int major = 0;
        int minor = 0;
        if (!XTestQueryExtension(x.display(), &event, &error, &major, &minor))
            throw Failure(action + ": the X server does not offer the XTEST extension");
        const KeyCode shift = XKeysymToKeycode(x.display(), XK_Shift_L);
        const Keyboard keyboard(x.display());
        if (!keyboard.available())
            throw Failure(action + ": the keyboard layout cannot be read (no XKB extension)");

        // Resolve every key first, so a key missing from the layout types nothing.
        std::vector<KeyPlace> presses;
        for (const Keystroke& key : strokes) {
            const KeySym sym = keySymOf(key);
            const std::optional<KeyPlace> place = keyboard.find(sym);
            if (!place)
                throw Failure(action + ": " + describe(key, sym) +
                              " cannot be typed with the keyboard layouts in use");
            if (place->shifted && shift == 0)
                throw Failure(action + ": the keyboard layout has no Shift key");
            presses.push_back(*place);
        }
        int group = keyboard.group();
        for (const KeyPlace& press : presses) {
            if (press.group != group) {
                group = press.group;
                XkbLockGroup(x.display(), XkbUseCoreKbd, static_cast<unsigned int>(group));
            }
            if (press.shifted)
                XTestFakeKeyEvent(x.display(), shift, True, CurrentTime);
            XTestFakeKeyEvent(x.display(), press.code, True, CurrentTime);
            XTestFakeKeyEvent(x.display(), press.code, False, CurrentTime);
            if (press.shifted)
                XTestFakeKeyEvent(x.display(), shift, False, CurrentTime);
        }
        // The user's layout is back before anyone else's key counts.
        if (group != keyboard.group())
            XkbLockGroup(x.display(), XkbUseCoreKbd, static_cast<unsigned int>(keyboard.group()));
        // Delivered to the server, not waited for by the receiving program.
        XSync(x.display(), False);
        checkConnection(x, action);
    }

private:
    static void checkConnection(const Connection& x, const std::string& action) {
        if (Connection::lost())
            throw Failure(action + ": the connection to the X11 display was lost");
        XSync(x.display(), False);
        if (Connection::lost())
            throw Failure(action + ": the connection to the X11 display was lost");
    }

    static void bringForward(const Connection& x, Window target) {
        // A window on another workspace: switch there first.
        const auto desktop = cardinal(x, target, x.atom("_NET_WM_DESKTOP"));
        const auto current = cardinal(x, x.root(), x.atom("_NET_CURRENT_DESKTOP"));
        if (desktop && current && *desktop != *current && *desktop != 0xFFFFFFFFL && *desktop != -1)
            sendRootMessage(x, x.root(), x.atom("_NET_CURRENT_DESKTOP"), *desktop, CurrentTime);
        // Source 2 (a pager) asks on the user's behalf, so focus-stealing
        // prevention lets it through.
        sendRootMessage(x, target, x.atom("_NET_ACTIVE_WINDOW"), 2, CurrentTime);
        XFlush(x.display());
    }
};

} // namespace

std::unique_ptr<DesktopControl> createDesktopControl() {
    return std::make_unique<X11DesktopControl>();
}

} // namespace nuvok
