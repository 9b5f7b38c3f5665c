#pragma once

#include "common/failure.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nuvok {

// The window to bring forward is not there: no open window has its title, or
// there is no X11 display or window manager to ask. Unlike other failures of
// activateWindow, the player may still be reachable another way.
class WindowNotFound : public Failure {
public:
    using Failure::Failure;
};

// Bringing another program's window to the front and typing into the focused
// window. Each OS has its back-end (desktopcontrol_x11.cpp,
// desktopcontrol_win.cpp); tests use a fake.
class DesktopControl {
public:
    virtual ~DesktopControl() = default;
    // Brings the top-level window whose title matches (titlematch.h) to the
    // front. Returns once it has the focus, without waiting for the program
    // behind it to do anything. Throws Failure when there is no such window or
    // it cannot be brought forward.
    virtual void activateWindow(const std::string& title) = 0;
    // Types the keystrokes (notation of keystrokes.h) into whatever window has
    // the focus and returns without waiting for them to be handled. Throws
    // Failure for bad notation or when the keys cannot be sent.
    virtual void sendKeys(const std::string& keys) = 0;
    // The titles of the top-level windows, from the topmost down, as
    // activateWindow matches them. Throws Failure when they cannot be listed.
    virtual std::vector<std::string> windowTitles() {
        throw Failure("the windows cannot be listed here");
    }

    // A back-end that keeps a connection to the display server between keys
    // lets the caller's event loop read what the server sends meanwhile, so
    // that nothing piles up there: `watch` is told the descriptor to watch
    // for reading whenever it changes (-1: none), and takeEvents() is to be
    // called when it is readable. Neither throws.
    virtual void watchEvents(std::function<void(int descriptor)> /*watch*/) {}
    virtual void takeEvents() {}
};

// The back-end of this OS.
std::unique_ptr<DesktopControl> createDesktopControl();

} // namespace nuvok
