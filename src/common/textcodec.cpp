#include "common/textcodec.h"

namespace nuvok {

namespace {

// 0x80-0x9F of Windows-1252; the five unassigned bytes map to the C1 controls
// of the same value, as Windows itself does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Never characters of any text: U+FDD0-U+FDEF and the last two of every
// plane. Qt's text documents use some of them as their own marks (U+FDD0 and
// U+FDD1 begin and end a frame, a new block).
bool isNoncharacter(char32_t c) {
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c <= 0x10FFFF && (c & 0xFFFE) == 0xFFFE);
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string encodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text)
        appendUtf8(out, c);
    return out;
}

std::size_t utf8SequenceAt(std::string_view text, std::size_t i, char32_t& c) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not characters.
    if ((length == 3 && c < 0x800) || (length == 4 && c < 0x10000) ||
        (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return 0;
    return length;
}

std::u32string decodeUtf8(std::string_view text) {
    std::u32string out;
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t c = 0;
        const std::size_t length = utf8SequenceAt(text, i, c);
        out += length ? c : U'\uFFFD';
        i += length ? length : 1;
    }
    return out;
}

bool isUtf8(std::string_view text) {
    char32_t c = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8SequenceAt(text, i, c);
        if (!length)
            return false;
        i += length;
    }
    return true;
}

char32_t cp1252ToUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        appendUtf8(out, cp1252ToUnicode(static_cast<unsigned char>(b)));
    return out;
}

char32_t visibleControl(char32_t c) {
    if (c < 0x20)
        return 0x2400 + c;
    if (c == 0x7F)
        return 0x2421;
    if (c == 0x2028 || c == 0x2029 || c == 0x0085)
        return 0x2424;
    return c;
}

bool isTerminalControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x2028 ||
           c == 0x2029 || isNoncharacter(c);
}

namespace {

// The one place that decides how a log line shows a character; put appends
// one character in the caller's encoding.
template <typename Put> void putVisible(char32_t c, Put put) {
    const char32_t visible = visibleControl(c);
    if (!isTerminalControl(visible)) {
        put(visible);
        return;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    put(U'<');
    put(U'U');
    put(U'+');
    const int digits = c > 0xFFFFF ? 6 : c > 0xFFFF ? 5 : 4;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        put(static_cast<char32_t>(kHex[(c >> shift) & 0xF]));
    put(U'>');
}

} // namespace

bool visibleLogLine(std::u16string_view line, std::u16string& out) {
    const auto put = [&out](char32_t c) {
        if (c < 0x10000) {
            out += static_cast<char16_t>(c);
        } else {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    };
    bool changed = false;
    std::size_t i = 0;
    while (i < line.size()) {
        const char16_t u = line[i];
        if (u >= 0x20 && u < 0x7F) { // nearly all text
            if (changed)
                out += u;
            ++i;
            continue;
        }
        char32_t c = u;
        std::size_t length = 1;
        bool lone = false;
        if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 &&
                line[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(line[i + 1]) - 0xDC00);
                length = 2;
            } else {
                lone = true;
            }
        }
        if (!lone && !isTerminalControl(c)) {
            if (changed)
                out.append(line.substr(i, length));
        } else {
            if (!changed) {
                out.assign(line.substr(0, i));
                changed = true;
            }
            if (lone)
                put(0xFFFD); // half of a pair is no character
            else
                putVisible(c, put);
        }
        i += length;
    }
    return changed;
}

std::string terminalSafe(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (const char32_t c : decodeUtf8(utf8))
        putVisible(c, [&out](char32_t shown) { appendUtf8(out, shown); });
    return out;
}

} // namespace nuvok
