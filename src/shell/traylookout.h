#pragma once

#include <memory>

// Looks out for the desktop's notification areas without asking the toolkit,
// which decides where the icon goes the first time it is asked and keeps to
// that (see SystemTrayArea). Every answer is the latest word of the area's
// owner, never waited for.
class TrayLookout {
public:
    virtual ~TrayLookout() = default;
    static std::unique_ptr<TrayLookout> forThisDesktop();

    // A watcher owns its name on the session bus (with or without a panel).
    virtual bool busWatcher() const = 0;
    // A panel that shows icons (a host) is registered with that watcher.
    virtual bool busHost() const = 0;
    // The window system's own notification area is there, where the toolkit
    // docks the icon without the session bus: the X11 one (XEmbed) on the
    // X11 platform, the shell's on Windows.
    virtual bool windowSystemArea() const = 0;
    // Asks the watcher again, without waiting, whether a panel is registered:
    // a panel that registers in the moment its watcher appears may come
    // after the question and before its signal is listened for.
    virtual void askAgain() {}
};
