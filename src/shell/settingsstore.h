#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace nuvok {

// Per-user settings of application "NUVOKrc", section "Settings". Values are
// texts; a missing key reads as the empty text.
class SettingsStore {
public:
    // One change: a key of a section set to a value, or removed (no value).
    struct Change {
        std::string section;
        std::string key;
        std::optional<std::string> value;
    };

    virtual ~SettingsStore() = default;
    virtual std::string read(const std::string& key) const = 0;
    virtual void write(const std::string& key, const std::string& value) = 0;
    // Every key and value of another section of the same store, in key order.
    virtual std::vector<std::pair<std::string, std::string>>
    readSection(const std::string& section) const {
        (void)section;
        return {};
    }
    // Stores the changes together, all or, where the store cannot promise
    // that (the registry), saying which were not stored: throws Failure.
    // This store's own: the section "Settings" only, value by value.
    virtual void store(const std::vector<Change>& changes);
    // Where the settings are kept, for the user (a file, a registry key);
    // empty when they are kept nowhere the user can look.
    virtual std::string location() const { return {}; }
};

} // namespace nuvok
