#pragma once

#include <string>

namespace nuvok::test {

// A megabyte of digits: a number far beyond any range.
inline std::string megabyteOfDigits() {
    return std::string(std::size_t(1) << 20, '9');
}

// A megabyte of text that is no number, with control and high bytes and
// exponent-like pieces all through it.
inline std::string megabyteOfText() {
    std::string text;
    text.reserve(std::size_t(1) << 20);
    for (int i = 0; text.size() < (std::size_t(1) << 20); ++i)
        text += "x\x01\xFF\t1E" + std::to_string(i);
    return text;
}

} // namespace nuvok::test
