#include "shell/titlematch.h"

#include "common/textcodec.h"
#include "shell/desktopcontrol.h"

#include <optional>

namespace nuvok {
namespace {

// Simple case folding for Latin, Greek and Cyrillic letters.
char32_t foldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z')
        return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0 && c != 0x130)
        return c + 1;
    if (c >= 0x139 && c <= 0x148 && c % 2 == 1)
        return c + 1;
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0)
        return c + 1;
    if (c == 0x178)
        return 0xFF;
    if ((c == 0x179 || c == 0x17B || c == 0x17D))
        return c + 1;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 0x20;
    if (c >= 0x410 && c <= 0x42F)
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F)
        return c + 0x50;
    return c;
}

bool isWordCharacter(char32_t c) {
    if (c < 0x80)
        return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
               c == U'_';
    if (c < 0xC0 || c == 0xD7 || c == 0xF7 || c == 0xFFFD)
        return false;
    // Punctuation, symbols and arrows in the general punctuation and CJK blocks.
    if ((c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
        (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF0F))
        return false;
    return true;
}

std::u32string folded(std::string_view text) {
    std::u32string chars = decodeUtf8(text);
    for (char32_t& c : chars)
        c = foldCase(c);
    return chars;
}

bool containsWord(const std::u32string& title, const std::u32string& word) {
    for (std::size_t at = title.find(word); at != std::u32string::npos;
         at = title.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        const bool startsClean =
            at == 0 || !isWordCharacter(title[at - 1]) || !isWordCharacter(word.front());
        const bool endsClean =
            end == title.size() || !isWordCharacter(title[end]) || !isWordCharacter(word.back());
        if (startsClean && endsClean)
            return true;
    }
    return false;
}

template <typename Test>
std::optional<std::size_t> firstMatch(const std::vector<std::u32string>& titles, Test test) {
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (test(titles[i]))
            return i;
    }
    return std::nullopt;
}

} // namespace

std::size_t matchWindowTitle(const std::vector<std::string>& titles, std::string_view wanted) {
    if (wanted.empty())
        throw Failure("Cannot bring the window \"\" to the front: no window title was given");
    const std::u32string word = folded(wanted);
    std::vector<std::u32string> candidates;
    candidates.reserve(titles.size());
    for (const std::string& title : titles)
        candidates.push_back(folded(title));

    std::optional<std::size_t> found =
        firstMatch(candidates, [&](const std::u32string& t) { return t == word; });
    if (!found)
        found =
            firstMatch(candidates, [&](const std::u32string& t) { return t.starts_with(word); });
    if (!found)
        found =
            firstMatch(candidates, [&](const std::u32string& t) { return containsWord(t, word); });
    if (!found)
        throw WindowNotFound(
            "Cannot bring the window \"" + std::string(wanted) +
            "\" to the front: no open window has that title (is the program running?)");
    return *found;
}

bool containsWholeWord(std::string_view text, std::string_view word) {
    return !word.empty() && containsWord(folded(text), folded(word));
}

} // namespace nuvok
