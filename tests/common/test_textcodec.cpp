#include "support/check.h"

#include "common/textcodec.h"

#include <string>
#include <vector>

using namespace nuvok;

namespace {

std::u16string utf16(std::u32string_view text) {
    std::u16string out;
    for (const char32_t c : text) {
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    return out;
}

// Well-formed UTF-16 as UTF-8.
std::string utf8(std::u16string_view text) {
    std::u32string chars;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        chars += c;
    }
    return encodeUtf8(chars);
}

} // namespace

TEST_CASE("Windows-1252 bytes become their characters") {
    CHECK_EQ(static_cast<unsigned>(cp1252ToUnicode('A')), 0x41u);
    CHECK_EQ(static_cast<unsigned>(cp1252ToUnicode(0x80)), 0x20ACu); // euro sign
    CHECK_EQ(static_cast<unsigned>(cp1252ToUnicode(0x9F)), 0x178u);
    CHECK_EQ(static_cast<unsigned>(cp1252ToUnicode(0xAC)), 0xACu); // not sign
    CHECK_EQ(static_cast<unsigned>(cp1252ToUnicode(0xFF)), 0xFFu);
}

TEST_CASE("Windows-1252 text converts to UTF-8") {
    CHECK_EQ(cp1252ToUtf8("Remote: 5"), std::string("Remote: 5"));
    CHECK_EQ(cp1252ToUtf8("\xEE"), std::string("\xC3\xAE"));
    CHECK_EQ(cp1252ToUtf8("\x80"), std::string("\xE2\x82\xAC"));
    CHECK_EQ(cp1252ToUtf8(std::string_view("\0", 1)), std::string(1, '\0'));
}

TEST_CASE("control codes are shown as control pictures") {
    CHECK_EQ(static_cast<unsigned>(visibleControl(0)), 0x2400u);
    CHECK_EQ(static_cast<unsigned>(visibleControl(10)), 0x240Au);
    CHECK_EQ(static_cast<unsigned>(visibleControl(13)), 0x240Du);
    CHECK_EQ(static_cast<unsigned>(visibleControl(31)), 0x241Fu);
    CHECK_EQ(static_cast<unsigned>(visibleControl(127)), 0x2421u);
    CHECK_EQ(static_cast<unsigned>(visibleControl(' ')), 0x20u);
    CHECK_EQ(static_cast<unsigned>(visibleControl(0xEE)), 0xEEu);
    CHECK_EQ(static_cast<unsigned>(visibleControl(0x2028)), 0x2424u);
    CHECK_EQ(static_cast<unsigned>(visibleControl(0x2029)), 0x2424u);
    CHECK_EQ(static_cast<unsigned>(visibleControl(0x85)), 0x2424u);
}

TEST_CASE("Invalid UTF-8 becomes replacement characters, valid sequences decode") {
    struct Row {
        std::string bytes;
        std::u32string chars;
    };
    const std::vector<Row> rows{
        {"abc", U"abc"},
        {"\xC3\xA4", U"\u00E4"},
        {"\xF0\x9F\x8E\xB5", U"\U0001F3B5"},
        {"\xC3", U"\uFFFD"},
        {"\xC0\xAF", U"\uFFFD\uFFFD"},           // overlong
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"}, // surrogate
        {"a\xFF"
         "b",
         U"a\uFFFDb"},
    };
    for (const Row& row : rows)
        CHECK(decodeUtf8(row.bytes) == row.chars);
}

TEST_CASE("Characters of every length encode to UTF-8 and decode back") {
    const std::u32string text = U"aä€🎵";
    CHECK_EQ(encodeUtf8(text), std::string("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x8E\xB5"));
    CHECK(decodeUtf8(encodeUtf8(text)) == text);
}

TEST_CASE("A line for the terminal carries nothing a terminal acts on") {
    struct Row {
        std::string line;
        std::string written;
    };
    const std::vector<Row> rows{
        {"Remote: 5", "Remote: 5"},
        {std::string("Remote: \0", 9), "Remote: \xE2\x90\x80"}, // NUL: its picture
        {"Remote: \x1B[31m", "Remote: \xE2\x90\x9B[31m"},       // ESC: its picture
        {"Remote: \x7F", "Remote: \xE2\x90\xA1"},               // DEL: its picture
        {"Remote: \xC2\x90", "Remote: <U+0090>"},               // DCS
        {"Remote: \xC2\x9D", "Remote: <U+009D>"},               // OSC
        {"Remote: \xC2\x85", "Remote: \xE2\x90\xA4"},           // NEL: the newline picture
        {"a\xEF\xB7\x90"
         "b\xEF\xB7\xAF",
         "a<U+FDD0>b<U+FDEF>"},                                   // noncharacters
        {"\xEF\xB7\x8F\xEF\xBF\xBD", "\xEF\xB7\x8F\xEF\xBF\xBD"}, // U+FDCF, U+FFFD stay
        {"\xEF\xBF\xBE\xF0\x9F\xBF\xBF\xF4\x8F\xBF\xBF", "<U+FFFE><U+1FFFF><U+10FFFF>"},
        {"a\xE2\x80\xAE"
         "b",
         "a<U+202E>b"}, // right-to-left override
        {"a\xE2\x81\xA6"
         "b\xE2\x81\xA9",
         "a<U+2066>b<U+2069>"},                                           // isolates
        {"\xE2\x80\x8F\xD8\x9C\xE2\x80\x8E", "<U+200F><U+061C><U+200E>"}, // marks
        {"a\xE2\x80\xA8"
         "b",
         "a\xE2\x90\xA4"
         "b"}, // line separator: its picture
        {"\xC3\xA4\xE2\x82\xAC\xF0\x9F\x8E\xB5", "\xC3\xA4\xE2\x82\xAC\xF0\x9F\x8E\xB5"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"}, // not UTF-8
    };
    for (const Row& row : rows)
        CHECK_EQ(terminalSafe(row.line), row.written);
    // Every character written stays clear of what a terminal acts on, and
    // the panel's UTF-16 line shows it the same way.
    char32_t firstActedOn = 0;
    char32_t firstApart = 0;
    for (char32_t c = 1; c <= 0x10FFFF && firstActedOn == 0 && firstApart == 0; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF)
            continue;
        const std::string written = terminalSafe(encodeUtf8(std::u32string(1, c)));
        for (const char32_t shown : decodeUtf8(written))
            if (isTerminalControl(shown))
                firstActedOn = c;
        const std::u16string line = utf16(std::u32string(1, c));
        std::u16string visible;
        if (utf8(visibleLogLine(line, visible) ? visible : line) != written)
            firstApart = c;
    }
    CHECK_EQ(static_cast<unsigned>(firstActedOn), 0u);
    CHECK_EQ(static_cast<unsigned>(firstApart), 0u);
}

TEST_CASE("The panel's UTF-16 line is read by characters, not by units") {
    struct Row {
        std::u16string line;
        std::u16string shown; // empty: the line as it is
    };
    const std::vector<Row> rows{
        {u"Remote: 5 \u00EE \U0001F3B5", u""},
        {u"a\uFDD0Open Door\uFDD1", u"a<U+FDD0>Open Door<U+FDD1>"},
        {u"\U0001FFFE \U0010FFFF", u"<U+1FFFE> <U+10FFFF>"},
        {std::u16string(u"a\xD83F") + u"b", u"a\uFFFDb"}, // lone high surrogate
        {std::u16string(1, char16_t(0xDFFF)), u"\uFFFD"}, // lone low surrogate
        {u"\u0085\u202E\u0007", u"\u2424<U+202E>\u2407"},
    };
    for (const Row& row : rows) {
        std::u16string visible = u"untouched";
        const bool changed = visibleLogLine(row.line, visible);
        CHECK_EQ(changed, !row.shown.empty());
        CHECK(visible == (row.shown.empty() ? u"untouched" : row.shown));
    }
}
