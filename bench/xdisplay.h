#pragma once

#include "processes.h"

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

namespace bench {

// The private X server with a window manager that the bench runs on
// (scripts/private-desktop.sh starts them and names them in the environment).
class PrivateDesktop {
public:
    PrivateDesktop(); // throws nuvok::Failure when there is no display
    const std::string& display() const { return m_display; }
    const std::string& windowManager() const { return m_windowManager; }

private:
    std::string m_display;
    std::string m_windowManager;
};

// A top-level window of the bench's own with a title like the video player's.
// It notes the moment each key press reaches it.
class KeyTarget {
public:
    KeyTarget(const std::string& display, const std::string& title);
    ~KeyTarget();
    KeyTarget(const KeyTarget&) = delete;
    KeyTarget& operator=(const KeyTarget&) = delete;

    unsigned long window() const { return m_window; }
    bool hasFocus();
    // Asks the window manager to make this window the active one, as a pager
    // does, and waits until it has the focus.
    bool takeFocus();
    // The moment the next press of the key was read, or nothing when it did
    // not come in time. Other events are dropped on the way.
    std::optional<Clock::time_point> waitForPress(unsigned long keysym,
                                                  std::chrono::milliseconds limit);
    bool waitForRelease(unsigned long keysym, std::chrono::milliseconds limit);
    // Reads and drops whatever events have arrived.
    void drain();

private:
    bool listed();
    std::optional<Clock::time_point> waitForKey(int type, unsigned long keysym,
                                                std::chrono::milliseconds limit);

    Display* m_connection = nullptr;
    unsigned long m_window = 0;
};

// Shows a program's window as the user does, with a click on its icon in the
// notification area (a small window titled `iconTitle`), repeated while the
// panel still settles the icon. True once the window titled `windowTitle` is
// mapped.
bool showFromNotificationArea(const std::string& display, const std::string& iconTitle,
                              const std::string& windowTitle, std::chrono::milliseconds limit);

} // namespace bench
