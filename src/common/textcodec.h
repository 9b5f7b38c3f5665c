#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nuvok {

// The handset and the controller speak 8-bit text; bytes 128-255 are
// Windows-1252 characters.
char32_t cp1252ToUnicode(unsigned char byte);
std::string cp1252ToUtf8(std::string_view bytes);

// A log line must stay one line, show what it says and not drive a terminal,
// whatever its text came from (a handset, lircd, a player, a setting). Its
// visible form, the same in the log panel and on a terminal (--log-stderr):
// the control codes 0-31 and 127 are their control pictures (U+2400 + code,
// U+2421 for DEL), the line and paragraph separators and NEL (U+0085) the
// newline picture (U+2424); written as "<U+" hexadecimal digits ">", such as
// <U+009D> or <U+10FFFF>, are the other C1 controls (U+0080-U+009F, among
// them CSI, DCS and OSC), the characters that reorder text (the
// bidirectional embeddings, overrides and isolates U+202A-U+202E and
// U+2066-U+2069, the marks U+200E, U+200F and U+061C) and the noncharacters
// (U+FDD0-U+FDEF and U+xFFFE, U+xFFFF of every plane), which the log panel
// takes for its own line marks. A lone UTF-16 surrogate or a byte that is
// not UTF-8 becomes U+FFFD.
//
// For UTF-16 text: returns false when the line is shown as it is, and out is
// left alone; else out is the visible form.
bool visibleLogLine(std::u16string_view line, std::u16string& out);
// For UTF-8 text.
std::string terminalSafe(std::string_view utf8);

// The picture that stands for a character in a log line, or the character.
char32_t visibleControl(char32_t c);
// Whether a log line does not show this character as it is: the characters
// that visibleLogLine and terminalSafe rewrite.
bool isTerminalControl(char32_t c);

// Appends one Unicode character encoded as UTF-8.
void appendUtf8(std::string& out, char32_t c);
std::string encodeUtf8(std::u32string_view text);

// Decodes UTF-8; a byte that does not start a valid sequence becomes U+FFFD.
std::u32string decodeUtf8(std::string_view text);
// The length of the valid UTF-8 sequence at i (its character in c), or 0.
std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& c);
// Whether every byte belongs to a valid sequence, as a text message must.
bool isUtf8(std::string_view text);

} // namespace nuvok
