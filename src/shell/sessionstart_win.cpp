#include "shell/runkeyentry.h"

namespace nuvok {

RunKeyEntry::RunKeyEntry(HKEY root, std::string keyPath, std::string valueName,
                         std::string programPath)
    : m_root(root), m_keyPath(std::move(keyPath)), m_valueName(std::move(valueName)),
      m_programPath(std::move(programPath)) {}

bool RunKeyEntry::isEnabled() const {
    return !readRegString(m_root, m_keyPath, m_valueName, std::string()).empty();
}

void RunKeyEntry::setEnabled(bool on) {
    if (on)
        writeRegString(m_root, m_keyPath, m_valueName, commandText());
    else
        deleteRegValue(m_root, m_keyPath, m_valueName);
}

std::string RunKeyEntry::commandText() const {
    return '"' + m_programPath + "\" -min";
}

std::unique_ptr<SessionStart> makeSessionStart(const std::string& programPath) {
    return std::make_unique<RunKeyEntry>(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                         "NUVOKRC", programPath);
}

} // namespace nuvok
