#pragma once

#include "shell/registry.h"
#include "shell/sessionstart.h"

namespace nuvok {

// Start with Windows through a string value under a Run key. The program
// path is quoted, so that a path with blanks cannot start another program.
class RunKeyEntry : public SessionStart {
public:
    RunKeyEntry(HKEY root, std::string keyPath, std::string valueName, std::string programPath);
    bool isEnabled() const override;
    void setEnabled(bool on) override;
    std::string commandText() const; // the value's text when the entry is on

private:
    HKEY m_root;
    std::string m_keyPath;
    std::string m_valueName;
    std::string m_programPath;
};

} // namespace nuvok
