#pragma once

// The Windows registry operations behind the start-with-Windows entry. Texts
// are UTF-8 here and Unicode in the registry. None of the operations reports
// a failure: a value that cannot be read gives the default, and callers read
// back what they wrote.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace nuvok {

// The plain string value valueName of key keyPath under root; a missing key
// or value, a value of another type (REG_EXPAND_SZ too) and every failure
// give defaultText.
std::string readRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultText);

// Stores text as the plain string value valueName, creating the key if needed.
void writeRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                    const std::string& text);

void deleteRegValue(HKEY root, const std::string& keyPath, const std::string& valueName);

} // namespace nuvok
