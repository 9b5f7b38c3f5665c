#include "common/failure.h"
#include "shell/keystrokes.h"
#include "support/check.h"
#include "support/failureof.h"

#include <string>
#include <vector>

using nuvok::Keystroke;
using nuvok::NamedKey;

namespace {

Keystroke ch(char32_t c) {
    return {NamedKey::Character, c};
}
Keystroke named(NamedKey key) {
    return {key, 0};
}

std::string show(const std::vector<Keystroke>& keys) {
    std::string text;
    for (const Keystroke& key : keys) {
        if (key.named == NamedKey::Character)
            text += "[U+" + std::to_string(static_cast<unsigned>(key.character)) + "]";
        else
            text += "[#" + std::to_string(static_cast<int>(key.named)) + "]";
    }
    return text;
}

std::string failureOf(const std::string& text) {
    return nuvok::test::failureOf([&] { nuvok::parseKeystrokes(text); });
}

} // namespace

TEST_CASE("Keystroke texts become keys") {
    struct Row {
        std::string text;
        std::vector<Keystroke> keys;
    };
    const std::vector<Row> rows{
        {"", {}},
        {" ", {ch(U' ')}},
        {"z", {ch(U'z')}},
        {"Zc b", {ch(U'Z'), ch(U'c'), ch(U' '), ch(U'b')}},
        {"{enter}", {named(NamedKey::Enter)}},
        {"{ENTER}", {named(NamedKey::Enter)}},
        {"{Left}{right}", {named(NamedKey::Left), named(NamedKey::Right)}},
        {"{up}{down}{tab}{esc}{escape}",
         {named(NamedKey::Up), named(NamedKey::Down), named(NamedKey::Tab), named(NamedKey::Escape),
          named(NamedKey::Escape)}},
        {"{bs}{bksp}{backspace}{del}{delete}{ins}{insert}",
         {named(NamedKey::Backspace), named(NamedKey::Backspace), named(NamedKey::Backspace),
          named(NamedKey::Delete), named(NamedKey::Delete), named(NamedKey::Insert),
          named(NamedKey::Insert)}},
        {"{home}{end}{pgup}{pgdn}",
         {named(NamedKey::Home), named(NamedKey::End), named(NamedKey::PageUp),
          named(NamedKey::PageDown)}},
        {"{f1}{F12}", {named(NamedKey::F1), named(NamedKey::F12)}},
        {"a{enter}b", {ch(U'a'), named(NamedKey::Enter), ch(U'b')}},
        {"{{}{}}", {ch(U'{'), ch(U'}')}},
        {"{+}{ }", {ch(U'+'), ch(U' ')}},
        {"{left 3}", {named(NamedKey::Left), named(NamedKey::Left), named(NamedKey::Left)}},
        {"{x 2}{left 0}", {ch(U'x'), ch(U'x')}},
        {"a\tb\n", {ch(U'a'), named(NamedKey::Tab), ch(U'b'), named(NamedKey::Enter)}},
        {"\xC3\xA9\xE2\x82\xAC", {ch(0xE9), ch(0x20AC)}},
        {"{\xC3\xA9}", {ch(0xE9)}},
    };
    for (const Row& row : rows)
        CHECK_EQ(show(nuvok::parseKeystrokes(row.text)), show(row.keys));
}

TEST_CASE("Bad keystroke texts fail with a description that names the problem") {
    struct Row {
        std::string text;
        std::string mentions;
    };
    const std::vector<Row> rows{
        {"{enterr}", "unknown key name \"{enterr}\""},
        {"a{foo bar}", "\"{foo bar}\""},
        {"a{foo 2}", "unknown key name \"{foo}\""},
        {"{left", "\"{\" without its \"}\""},
        {"{}", "empty key name"},
        {"x}", "\"}\" without its \"{\""},
        {"{left 1000}", "repeat count"},
        {"{left 101}", "more than 100 repeats"},
        {"{left x}", "repeat count"},
        {std::string("a\x01"), "control character (code 1)"},
    };
    for (const Row& row : rows) {
        const std::string description = failureOf(row.text);
        CHECK(description.find(row.mentions) != std::string::npos);
        // The whole text is quoted so the user can find it.
        CHECK(description.find("\"" + row.text + "\"") != std::string::npos);
    }
}
