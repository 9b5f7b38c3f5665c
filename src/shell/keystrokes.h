#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nuvok {

enum class NamedKey {
    Character, // not a special key: the character field says which
    Enter,
    Tab,
    Escape,
    Backspace,
    Delete,
    Insert,
    Home,
    End,
    PageUp,
    PageDown,
    Left,
    Right,
    Up,
    Down,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

struct Keystroke {
    NamedKey named = NamedKey::Character;
    char32_t character = 0; // when named is Character
    friend bool operator==(const Keystroke&, const Keystroke&) = default;
};

// Parses keystroke text (UTF-8). Every character stands for its own key, a tab
// for Tab and a line feed for Enter. A name in braces is a special key, in any
// letter case: {enter}, {tab}, {esc}, {backspace} ({bs}, {bksp}), {delete}
// ({del}), {insert} ({ins}), {home}, {end}, {pgup}, {pgdn}, {left}, {right},
// {up}, {down}, {f1} to {f12}. A single character in braces is that character,
// so "{{}" and "{}}" type the braces. A count after a blank repeats the key:
// "{left 3}". Unknown names, unbalanced braces and other control characters
// throw Failure with a description that quotes the text.
std::vector<Keystroke> parseKeystrokes(std::string_view text);

} // namespace nuvok
