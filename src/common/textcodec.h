#pragma once

#include <string>
#include <string_view>

namespace nuvok {

// The handset and the controller speak 8-bit text; bytes 128-255 are
// Windows-1252 characters.
char32_t cp1252ToUnicode(unsigned char byte);
std::string cp1252ToUtf8(std::string_view bytes);

// A log line must stay one line and must not drive a terminal: control codes
// (0-31 and 127) are shown as their Unicode control pictures (U+2400 + code,
// U+2421 for DEL), the line and paragraph separators as the newline picture
// (U+2424). Other characters are returned unchanged.
char32_t visibleControl(char32_t c);

// Appends one Unicode character encoded as UTF-8.
void appendUtf8(std::string& out, char32_t c);
std::string encodeUtf8(std::u32string_view text);

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);

} // namespace nuvok
