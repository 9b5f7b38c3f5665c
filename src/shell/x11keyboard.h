#pragma once

// Typing on the X11 desktop with XTEST, which reaches programs that ignore
// synthesised events, in whatever layout and lock state the user has.

#include "shell/keystrokes.h"
#include "shell/x11connection.h"

#include <X11/XKBlib.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nuvok::x11 {

// The keyboard map and state, read once per connection and kept current by
// the server's map, keyboard and state notifications.
class Keyboard : public ConnectionUser {
public:
    explicit Keyboard(Connection& x) : m_x(x) {}
    ~Keyboard() override;
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    void connected(Display* display) override;
    void event(const XEvent& event) override;

    // Types every keystroke, or none when one of them cannot be typed; throws
    // Failure, beginning with `action`. Returns once they are on their way to
    // the server, without a round trip: it handles one connection's requests
    // in order, so whatever this connection asks next comes after them.
    void type(const std::vector<Keystroke>& strokes, const std::string& action);

private:
    // Where a key symbol is on the keyboard: the key, the layout (XKB group)
    // it is typed in, and whether with Shift.
    struct KeyPlace {
        KeyCode code = 0;
        int group = 0;
        bool shifted = false;
    };

    void load(const std::string& action);
    void forgetMap();
    std::optional<KeyPlace> find(KeySym sym);
    KeySym symbolOf(KeyCode code, int group, bool shifted) const;

    Connection& m_x;
    bool m_hasXTest = false;
    int m_xkbEvent = -1;
    XkbDescPtr m_map = nullptr;
    KeyCode m_shift = 0;
    int m_group = 0;
    unsigned int m_lockedMods = 0;
    // Places found under the current map and state.
    std::map<KeySym, std::optional<KeyPlace>> m_places;
};

} // namespace nuvok::x11
