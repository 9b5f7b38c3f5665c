#pragma once

#include "common/failure.h"
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
    void store(const std::vector<Change>& changes) override {
        if (!refusal.empty())
            throw Failure(refusal);
        for (const Change& change : changes) {
            auto& section = change.section == "Settings" ? values : sections[change.section];
            if (change.value)
                section[change.key] = *change.value;
            else
                section.erase(change.key);
            ++writes;
        }
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
    std::string refusal; // when set, store() fails with it and stores nothing
};

} // namespace nuvok::test
