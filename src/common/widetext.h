#pragma once

#include <string>

namespace nuvok {

// UTF-8 and UTF-16 as the wide interfaces of Windows take them (Windows only).
std::wstring wideText(const std::string& utf8);
std::string utf8Text(const std::wstring& wide);

} // namespace nuvok
