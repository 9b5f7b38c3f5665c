#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace nuvok {

// Finds the window to bring to the front among window titles (UTF-8), ordered
// from the topmost window down. Players put more than their name into their
// titles ("song.mp3 - VLC media player"), so a title matches when it equals
// the wanted text; failing that, when it begins with it; failing that, when it
// contains it as a whole word. Letter case is ignored throughout. The first
// title of the best kind wins. Returns its index; throws Failure naming the
// wanted title when none matches or the wanted title is empty.
std::size_t matchWindowTitle(const std::vector<std::string>& titles, std::string_view wanted);

// Whether the text contains the word (UTF-8, not empty) as a whole word,
// ignoring letter case, by the same rules as the title match.
bool containsWholeWord(std::string_view text, std::string_view word);

} // namespace nuvok
