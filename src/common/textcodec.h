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

// A log line as it is written to a terminal (--log-stderr): UTF-8 that no
// terminal acts on. What visibleControl shows as a picture is shown so here
// too; the C1 controls (U+0080-U+009F, among them CSI, DCS and OSC) and the
// characters that reorder text (the bidirectional embeddings, overrides and
// isolates U+202A-U+202E and U+2066-U+2069, the marks U+200E, U+200F and
// U+061C) have no picture and are written as "<U+" four hexadecimal digits ">",
// for example <U+009D>. Bytes that are not UTF-8 become U+FFFD.
std::string terminalSafe(std::string_view utf8);

// Whether a terminal would act on this character: the characters that
// terminalSafe rewrites.
bool isTerminalControl(char32_t c);

// Appends one Unicode character encoded as UTF-8.
void appendUtf8(std::string& out, char32_t c);
std::string encodeUtf8(std::u32string_view text);

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);

} // namespace nuvok
