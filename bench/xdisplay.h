#pragma once

#include "processes.h"

#include <X11/Xlib.h>

#include <memory>
#include <optional>
#include <string>

namespace bench {

// A private X server with a window manager, for as long as this object lives.
class PrivateDesktop {
public:
    PrivateDesktop(); // throws nuvok::Failure when either cannot be started
    ~PrivateDesktop();
    PrivateDesktop(const PrivateDesktop&) = delete;
    PrivateDesktop& operator=(const PrivateDesktop&) = delete;
    const std::string& display() const { return m_display; }

private:
    TempDir m_home;
    std::string m_display;
    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<ChildProcess> m_windowManager;
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

} // namespace bench
