// X11 back-end: windows are found through the window manager's client list
// (EWMH), brought forward with a _NET_ACTIVE_WINDOW request and typed into with
// XTEST. One connection serves every key; what it has read of windows and the
// keyboard is kept current by the server's notifications.
#include "shell/desktopcontrol.h"

#include "shell/titlematch.h"
#include "shell/x11connection.h"
#include "shell/x11keyboard.h"
#include "shell/x11windows.h"

namespace nuvok {
namespace {

class X11DesktopControl : public DesktopControl {
public:
    X11DesktopControl() {
        m_x.addUser(m_windows);
        m_x.addUser(m_keyboard);
    }

    void activateWindow(const std::string& title) override {
        const std::string action = "Cannot bring the window \"" + title + "\" to the front";
        if (title.empty())
            matchWindowTitle(std::vector<std::string>{}, title); // throws the usual description
        const x11::CallScope scope;
        m_x.prepare(action);
        x11::activateWindow(m_x, m_windows, title, action);
    }

    std::vector<std::string> windowTitles() override {
        const std::string action = "Cannot list the windows";
        const x11::CallScope scope;
        m_x.prepare(action);
        return x11::windowTitles(m_x, m_windows, m_windows.clientsTopDown(), action);
    }

    void sendKeys(const std::string& keys) override {
        const std::vector<Keystroke> strokes = parseKeystrokes(keys);
        const std::string action = "Cannot type the keystrokes \"" + keys + "\"";
        const x11::CallScope scope;
        m_x.prepare(action);
        m_keyboard.type(strokes, action);
    }

    void watchEvents(std::function<void(int)> watch) override {
        const x11::CallScope scope;
        m_x.setWatch(std::move(watch));
    }

    void takeEvents() override {
        const x11::CallScope scope;
        m_x.takeEvents();
    }

private:
    // The users come first: the connection, closed first, never outlives them.
    x11::WindowDirectory m_windows{m_x};
    x11::Keyboard m_keyboard{m_x};
    x11::Connection m_x;
};

} // namespace

std::unique_ptr<DesktopControl> createDesktopControl() {
    return std::make_unique<X11DesktopControl>();
}

} // namespace nuvok
