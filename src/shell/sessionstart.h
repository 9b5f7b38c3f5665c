#pragma once

#include <memory>
#include <string>

namespace nuvok {

// The entry that starts the program with the user's session (with Windows on
// Windows, with the desktop session elsewhere).
class SessionStart {
public:
    virtual ~SessionStart() = default;
    // Whether an entry is stored; an entry that cannot be read counts as absent.
    virtual bool isEnabled() const = 0;
    // Stores the entry (starting programPath with -min) or removes it. May
    // throw Failure when the system says why it refused; a refusal may also
    // be silent, so callers read isEnabled() back.
    virtual void setEnabled(bool on) = 0;
};

// This system's entry for the program at programPath (absolute, native form).
std::unique_ptr<SessionStart> makeSessionStart(const std::string& programPath);

} // namespace nuvok
