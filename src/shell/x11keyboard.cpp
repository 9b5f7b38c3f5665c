#include "shell/x11keyboard.h"

#include "common/failure.h"
#include "common/keytimes.h"
#include "common/textcodec.h"

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace nuvok::x11 {
namespace {

// Symbols typed once stay known until the map or state changes; this bounds
// what a long run of unusual characters could keep.
constexpr std::size_t kKeptPlaces = 256;

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

std::string describe(const Keystroke& key, KeySym sym) {
    if (key.named != NamedKey::Character) {
        const char* name = XKeysymToString(sym);
        return std::string("the key ") + (name != nullptr ? name : "?");
    }
    std::string text = "\"";
    appendUtf8(text, key.character);
    return text + "\"";
}

} // namespace

Keyboard::~Keyboard() {
    forgetMap();
}

void Keyboard::forgetMap() {
    if (m_map != nullptr)
        XkbFreeKeyboard(m_map, 0, True);
    m_map = nullptr;
    m_places.clear();
}

void Keyboard::connected(Display* display) {
    forgetMap();
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    m_hasXTest = XTestQueryExtension(display, &event, &error, &major, &minor);
    int opcode = 0;
    major = XkbMajorVersion;
    minor = XkbMinorVersion;
    m_xkbEvent = -1;
    if (XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) {
        m_xkbEvent = event;
        XkbSelectEvents(display, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                        XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
        // Only the state that changes what a key types: the layout and the locks.
        XkbSelectEventDetails(display, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask,
                              XkbGroupStateMask | XkbModifierLockMask);
    }
}

void Keyboard::event(const XEvent& event) {
    if (event.type == MappingNotify) {
        XMappingEvent mapping = event.xmapping;
        XRefreshKeyboardMapping(&mapping);
        forgetMap();
        return;
    }
    if (m_xkbEvent < 0 || event.type != m_xkbEvent)
        return;
    const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
    switch (xkb.any.xkb_type) {
    case XkbStateNotify:
        m_group = xkb.state.group;
        // Caps Lock turns a plain letter into a capital, so it counts.
        m_lockedMods = xkb.state.locked_mods;
        m_places.clear();
        break;
    case XkbMapNotify:
    case XkbNewKeyboardNotify:
        forgetMap();
        break;
    default:
        break;
    }
}

void Keyboard::load(const std::string& action) {
    if (m_map != nullptr)
        return;
    Display* display = m_x.display();
    m_map = XkbGetMap(display, XkbAllClientInfoMask, XkbUseCoreKbd);
    XkbStateRec state{};
    if (m_map == nullptr || XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        forgetMap();
        m_x.check(action);
        throw Failure(action + ": the keyboard layout cannot be read (no XKB extension)");
    }
    m_group = state.group;
    m_lockedMods = state.locked_mods;
    m_shift = XKeysymToKeycode(display, XK_Shift_L);
}

// What the key types in that group; XKB wraps groups a key lacks, as the
// server does.
KeySym Keyboard::symbolOf(KeyCode code, int group, bool shifted) const {
    const unsigned int mods = m_lockedMods | (shifted ? ShiftMask : 0U);
    unsigned int consumed = 0;
    KeySym sym = NoSymbol;
    if (!XkbTranslateKeyCode(m_map, code, XkbBuildCoreState(mods, group), &consumed, &sym))
        return NoSymbol;
    return sym;
}

// Prefers the layout in use and keys without Shift; another layout is used
// only for a symbol the current one lacks.
std::optional<Keyboard::KeyPlace> Keyboard::find(KeySym sym) {
    if (const auto known = m_places.find(sym); known != m_places.end())
        return known->second;
    std::optional<KeyPlace> found;
    std::vector<int> groups{m_group};
    for (int group = 0; group < XkbNumKbdGroups; ++group)
        if (group != m_group)
            groups.push_back(group);
    for (int group : groups) {
        for (bool shifted : {false, true}) {
            for (int code = m_map->min_key_code; code <= m_map->max_key_code && !found; ++code) {
                if (symbolOf(static_cast<KeyCode>(code), group, shifted) == sym)
                    found = KeyPlace{static_cast<KeyCode>(code), group, shifted};
            }
            if (found)
                break;
        }
        if (found)
            break;
    }
    if (m_places.size() >= kKeptPlaces)
        m_places.clear();
    m_places.emplace(sym, found);
    return found;
}

void Keyboard::type(const std::vector<Keystroke>& strokes, const std::string& action) {
    if (!m_hasXTest)
        throw Failure(action + ": the X server does not offer the XTEST extension");
    load(action);

    // Resolve every key first, so a key missing from the layout types nothing.
    std::vector<KeyPlace> presses;
    for (const Keystroke& key : strokes) {
        const KeySym sym = keySymOf(key);
        const std::optional<KeyPlace> place = find(sym);
        if (!place)
            throw Failure(action + ": " + describe(key, sym) +
                          " cannot be typed with the keyboard layouts in use");
        if (place->shifted && m_shift == 0)
            throw Failure(action + ": the keyboard layout has no Shift key");
        presses.push_back(*place);
    }
    Display* display = m_x.display();
    const int userGroup = m_group;
    int group = userGroup;
    for (const KeyPlace& press : presses) {
        if (press.group != group) {
            group = press.group;
            XkbLockGroup(display, XkbUseCoreKbd, static_cast<unsigned int>(group));
        }
        if (press.shifted)
            XTestFakeKeyEvent(display, m_shift, True, CurrentTime);
        XTestFakeKeyEvent(display, press.code, True, CurrentTime);
        XTestFakeKeyEvent(display, press.code, False, CurrentTime);
        if (press.shifted)
            XTestFakeKeyEvent(display, m_shift, False, CurrentTime);
    }
    // The user's layout is back before anyone else's key counts.
    if (group != userGroup)
        XkbLockGroup(display, XkbUseCoreKbd, static_cast<unsigned int>(userGroup));
    // Handed to the server, not waited for: neither the server nor the
    // receiving program is asked back. A connection lost meanwhile shows here.
    XFlush(display);
    keytimes::mark(keytimes::Stage::Keystrokes);
    m_x.check(action);
}

} // namespace nuvok::x11
