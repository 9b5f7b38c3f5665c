#pragma once

#include "shell/settingsstore.h"

#include <map>

namespace nuvok::test {

// Settings kept in memory, with a count of writes.
class MemorySettings : public SettingsStore {
public:
    std::string read(const std::string& key) const override {
        auto it = values.find(key);
        return it == values.end() ? std::string() : it->second;
    }
    void write(const std::string& key, const std::string& value) override {
        values[key] = value;
        ++writes;
    }
    std::map<std::string, std::string> values;
    int writes = 0;
};

} // namespace nuvok::test
