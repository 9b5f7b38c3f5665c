#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nuvok::test {

// How a desktop reads an Exec value into arguments: first the string escapes
// of the file format, then double-quoted arguments with their backslash
// escapes, then %% as a percent sign. An unterminated quote gives nothing.
inline std::vector<std::string> execArguments(std::string_view value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const char next = value[++i];
        switch (next) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += next;
        }
    }
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '%' && next == '%') {
            current += '%';
            inArgument = true;
            ++i;
        } else if (quoted) {
            if (c == '\\' && next != '\0' &&
                std::string_view("\"`$\\").find(next) != std::string_view::npos) {
                current += next;
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else if (c == ' ') {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return {};
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}

} // namespace nuvok::test
