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
    std::vector<std::pair<std::string, std::string>>
    readSection(const std::string& section) const override {
        const auto found = sections.find(section);
        if (found == sections.end())
            return {};
        return {found->second.begin(), found->second.end()};
    }
    std::map<std::string, std::string> values;
    std::map<std::string, std::map<std::string, std::string>> sections;
    int writes = 0;
};

} // namespace nuvok::test
