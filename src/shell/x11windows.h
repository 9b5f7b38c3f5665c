#pragma once

// Windows of the X11 desktop as the window manager lists them (EWMH), and
// bringing one of them to the front.

#include "shell/x11connection.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace nuvok::x11 {

// Window properties read once and kept until the server reports a change, so
// that a key costs no round trip per window. Only the listed windows' are
// kept.
class WindowDirectory : public ConnectionUser {
public:
    explicit WindowDirectory(Connection& x) : m_x(x) {}

    void connected(Display* display) override;
    void event(const XEvent& event) override;

    // The managed windows, topmost first.
    std::vector<Window> clientsTopDown();
    bool hasWindowManager();
    // UTF-8, whatever encoding the window uses.
    std::string title(Window window);
    std::optional<long> cardinal(Window window, const char* name);
    bool isActive(Window window);

private:
    struct Property {
        Atom type = None;
        int format = 0;
        std::vector<unsigned char> data;
        unsigned long count = 0;
    };

    const Property* property(Window window, Atom name);
    std::vector<Window> windowList(Window window, const char* name);
    void forgetAllBut(const std::vector<Window>& listed);

    Connection& m_x;
    std::map<std::pair<Window, Atom>, std::optional<Property>> m_properties;
    std::set<Window> m_watched;
};

// The titles of the windows, listed from the top down. Throws Failure,
// beginning with `action`.
std::vector<std::string> windowTitles(Connection& x, WindowDirectory& windows,
                                      const std::vector<Window>& topDown,
                                      const std::string& action);

// Brings the top-level window whose title matches to the front and returns
// once it has the input focus. Throws Failure, beginning with `action`.
void activateWindow(Connection& x, WindowDirectory& windows, const std::string& title,
                    const std::string& action);

} // namespace nuvok::x11
