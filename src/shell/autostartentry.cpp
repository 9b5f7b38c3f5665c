#include "shell/autostartentry.h"

#include "common/failure.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace nuvok {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string shown(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

} // namespace

std::string desktopExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%'; // a literal percent sign is written twice
    }
    quoted += '"';
    std::string escaped;
    for (const char c : quoted) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string autostartEntryText(const std::string& programPath) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=NUVOK Remote Control\n"
           "Exec=" +
           desktopExecArgument(programPath) + " -min\n";
}

std::optional<std::string> desktopEntryValue(std::string_view fileText, std::string_view key) {
    bool inEntryGroup = false;
    while (!fileText.empty()) {
        const auto lineEnd = fileText.find('\n');
        const std::string_view line = trimmed(fileText.substr(0, lineEnd));
        fileText =
            lineEnd == std::string_view::npos ? std::string_view() : fileText.substr(lineEnd + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inEntryGroup || equals == std::string_view::npos)
            continue;
        if (trimmed(line.substr(0, equals)) == key)
            return std::string(trimmed(line.substr(equals + 1)));
    }
    return std::nullopt;
}

std::filesystem::path xdgConfigHome() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    if (configHome && *configHome && std::filesystem::path(configHome).is_absolute())
        return std::filesystem::path(configHome);
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::filesystem::path(home) / ".config";
    return {};
}

AutostartEntry::AutostartEntry(std::filesystem::path entryFile, std::string programPath)
    : m_entryFile(std::move(entryFile)), m_programPath(std::move(programPath)) {}

bool AutostartEntry::isEnabled() const {
    if (m_entryFile.empty())
        return false;
    std::ifstream in(m_entryFile, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream content;
    content << in.rdbuf();
    const std::string text = content.str();
    const auto exec = desktopEntryValue(text, "Exec");
    return exec && !exec->empty() && desktopEntryValue(text, "Hidden") != "true";
}

void AutostartEntry::setEnabled(bool on) {
    if (m_entryFile.empty())
        throw Failure("No configuration folder for the autostart entry: neither XDG_CONFIG_HOME "
                      "nor HOME is set");
    if (on)
        write();
    else
        remove();
}

void AutostartEntry::write() const {
    const std::string where = shown(m_entryFile);
    std::error_code error;
    std::filesystem::create_directories(m_entryFile.parent_path(), error);
    if (error)
        throw Failure("Could not create the folder of the autostart entry " + where + ": " +
                      error.message());
    // Written beside the entry and renamed over it, so that a full disk never
    // leaves half an entry behind.
    std::filesystem::path temporary = m_entryFile;
    temporary += ".new";
    const std::string text = autostartEntryText(m_programPath);
    errno = 0;
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (out)
        out.close();
    if (!out) {
        const int reason = errno;
        std::filesystem::remove(temporary, error);
        throw Failure("Could not write the autostart entry " + where + ": " +
                      (reason != 0 ? std::strerror(reason) : "the file could not be written"));
    }
    std::filesystem::rename(temporary, m_entryFile, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw Failure("Could not write the autostart entry " + where + ": " + error.message());
    }
}

void AutostartEntry::remove() const {
    std::error_code error;
    std::filesystem::remove(m_entryFile, error);
    if (error)
        throw Failure("Could not remove the autostart entry " + shown(m_entryFile) + ": " +
                      error.message());
}

} // namespace nuvok
