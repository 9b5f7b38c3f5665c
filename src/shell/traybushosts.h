#pragma once

#include <memory>

// Whether a panel that shows icons is registered on the session bus, where
// the toolkit puts the notification-area icon when it finds one there.
class BusTrayHosts {
public:
    virtual ~BusTrayHosts() = default;
    // Null when the icon does not go over the session bus (no bus, no
    // watcher or no host at the start, or a system without one).
    static std::unique_ptr<BusTrayHosts> ifIconsGoThere();
    // The watcher's latest word, never waited for.
    virtual bool registered() const = 0;
};
