#pragma once

#include "shell/sessionstart.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nuvok {

// One argument of a desktop entry's Exec value: always in double quotes, with
// the characters the quoting rules reserve escaped, and then escaped again as
// the file's string values require.
std::string desktopExecArgument(std::string_view argument);

// The whole autostart desktop entry that starts programPath with -min.
std::string autostartEntryText(const std::string& programPath);

// The raw value of key in the [Desktop Entry] group of a desktop entry file,
// or nothing when the group has no such key.
std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute
// path, else $HOME/.config; empty when neither can be found.
std::filesystem::path xdgConfigHome();

// Start with the desktop session through an autostart desktop entry file. The
// entry counts as on when the file has a non-empty Exec and is not hidden.
class AutostartEntry : public SessionStart {
public:
    AutostartEntry(std::filesystem::path entryFile, std::string programPath);
    bool isEnabled() const override;
    void setEnabled(bool on) override;
    const std::filesystem::path& entryFile() const { return m_entryFile; }

private:
    void write() const;
    void remove() const;

    std::filesystem::path m_entryFile;
    std::string m_programPath;
};

} // namespace nuvok
