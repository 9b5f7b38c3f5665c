#pragma once

#include <string>

namespace nuvok {

// Per-user settings of application "NUVOKrc", section "Settings". Values are
// texts; a missing key reads as the empty text.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::string read(const std::string& key) const = 0;
    virtual void write(const std::string& key, const std::string& value) = 0;
};

} // namespace nuvok
