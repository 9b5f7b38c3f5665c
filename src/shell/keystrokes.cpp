#include "shell/keystrokes.h"

#include "common/failure.h"
#include "common/textcodec.h"

#include <array>
#include <cctype>
#include <utility>

namespace nuvok {
namespace {

constexpr int kMaxRepeat = 100;

struct KeyName {
    std::string_view name;
    NamedKey key;
};

constexpr std::array kKeyNames{
    KeyName{"enter", NamedKey::Enter},
    KeyName{"tab", NamedKey::Tab},
    KeyName{"esc", NamedKey::Escape},
    KeyName{"escape", NamedKey::Escape},
    KeyName{"backspace", NamedKey::Backspace},
    KeyName{"bs", NamedKey::Backspace},
    KeyName{"bksp", NamedKey::Backspace},
    KeyName{"delete", NamedKey::Delete},
    KeyName{"del", NamedKey::Delete},
    KeyName{"insert", NamedKey::Insert},
    KeyName{"ins", NamedKey::Insert},
    KeyName{"home", NamedKey::Home},
    KeyName{"end", NamedKey::End},
    KeyName{"pgup", NamedKey::PageUp},
    KeyName{"pgdn", NamedKey::PageDown},
    KeyName{"left", NamedKey::Left},
    KeyName{"right", NamedKey::Right},
    KeyName{"up", NamedKey::Up},
    KeyName{"down", NamedKey::Down},
    KeyName{"f1", NamedKey::F1},
    KeyName{"f2", NamedKey::F2},
    KeyName{"f3", NamedKey::F3},
    KeyName{"f4", NamedKey::F4},
    KeyName{"f5", NamedKey::F5},
    KeyName{"f6", NamedKey::F6},
    KeyName{"f7", NamedKey::F7},
    KeyName{"f8", NamedKey::F8},
    KeyName{"f9", NamedKey::F9},
    KeyName{"f10", NamedKey::F10},
    KeyName{"f11", NamedKey::F11},
    KeyName{"f12", NamedKey::F12},
};

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

Keystroke characterKey(char32_t c) {
    if (c == U'\n')
        return {NamedKey::Enter, 0};
    if (c == U'\t')
        return {NamedKey::Tab, 0};
    return {NamedKey::Character, c};
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text), m_chars(decodeUtf8(text)) {}

    std::vector<Keystroke> parse() {
        std::vector<Keystroke> keys;
        while (m_pos < m_chars.size()) {
            const char32_t c = m_chars[m_pos];
            if (c == U'{') {
                const auto [key, count] = braced();
                keys.insert(keys.end(), count, key);
            } else if (c == U'}') {
                fail("a \"}\" without its \"{\"");
            } else if (c != U'\n' && c != U'\t' && (c < 0x20 || c == 0x7F)) {
                fail("a control character (code " + std::to_string(static_cast<unsigned>(c)) + ")");
            } else {
                keys.push_back(characterKey(c));
                ++m_pos;
            }
        }
        return keys;
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw Failure("Cannot type the keystrokes \"" + std::string(m_text) + "\": " + what);
    }

    // At a "{": reads "{name}" or "{name count}" and leaves m_pos after the "}".
    std::pair<Keystroke, int> braced() {
        const std::size_t start = m_pos + 1;
        std::size_t close = m_chars.find(U'}', start);
        // "{}}" names the closing brace itself.
        if (close == start && start + 1 < m_chars.size() && m_chars[start + 1] == U'}')
            close = start + 1;
        if (close == std::u32string::npos)
            fail("\"{\" without its \"}\"");
        std::u32string inner = m_chars.substr(start, close - start);
        m_pos = close + 1;
        if (inner.empty())
            fail("an empty key name \"{}\"");

        int count = 1;
        const std::size_t blank = inner.rfind(U' ');
        if (blank != std::u32string::npos && blank > 0) {
            const std::u32string digits = inner.substr(blank + 1);
            if (digits.empty() || digits.size() > 3)
                fail("a bad repeat count in \"{" + encodeUtf8(inner) + "}\"");
            count = 0;
            for (char32_t d : digits) {
                if (d < U'0' || d > U'9')
                    fail("a bad repeat count in \"{" + encodeUtf8(inner) + "}\"");
                count = count * 10 + static_cast<int>(d - U'0');
            }
            if (count > kMaxRepeat)
                fail("more than " + std::to_string(kMaxRepeat) + " repeats in \"{" +
                     encodeUtf8(inner) + "}\"");
            inner.resize(blank);
        }
        if (inner.size() == 1)
            return {characterKey(inner[0]), count};
        const std::string name = lowerAscii(encodeUtf8(inner));
        for (const KeyName& known : kKeyNames) {
            if (known.name == name)
                return {Keystroke{known.key, 0}, count};
        }
        fail("unknown key name \"{" + encodeUtf8(inner) + "}\"");
    }

    std::string_view m_text;
    std::u32string m_chars;
    std::size_t m_pos = 0;
};

} // namespace

std::vector<Keystroke> parseKeystrokes(std::string_view text) {
    return Parser(text).parse();
}

} // namespace nuvok
