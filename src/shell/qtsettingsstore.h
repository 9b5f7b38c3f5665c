#pragma once

#include "shell/settingsstore.h"

#include <QSettings>
#include <functional>
#include <memory>

// Where this OS keeps the program's settings (settingslocation_*.cpp): an INI
// file in the user's configuration folder, or the per-user registry key of
// the platform's application settings.
std::unique_ptr<QSettings> openProgramSettings();

// The settings store over QSettings, section "Settings". Every operation opens
// the store afresh, so a value edited by hand is seen at the next read and a
// written value is on disk when write returns.
class QtSettingsStore : public nuvok::SettingsStore {
public:
    using Opener = std::function<std::unique_ptr<QSettings>()>;
    explicit QtSettingsStore(Opener open = openProgramSettings);
    std::string read(const std::string& key) const override;
    void write(const std::string& key, const std::string& value) override;
    std::vector<std::pair<std::string, std::string>>
    readSection(const std::string& section) const override;
    std::string location() const override;
    // An INI file is written whole to a new file that then takes its place;
    // the registry is written value by value and read back.
    void store(const std::vector<Change>& changes) override;

private:
    Opener m_open;
};
