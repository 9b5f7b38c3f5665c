#include "web/httphead.h"

#include "common/numtext.h"

#include <algorithm>

namespace nuvok {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lower);
    return out;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// A token of RFC 9110: what a method and a field name are made of.
bool isToken(std::string_view text) {
    static constexpr std::string_view extra = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               extra.find(c) != std::string_view::npos;
    });
}

bool visibleAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7f; });
}

bool parseRequestLine(std::string_view line, HttpHead& head) {
    const std::size_t first = line.find(' ');
    const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
        return false;
    head.method = line.substr(0, first);
    head.target = line.substr(first + 1, second - first - 1);
    head.version = line.substr(second + 1);
    return isToken(head.method) && !head.target.empty() && visibleAscii(head.target) &&
           (head.version == "HTTP/1.1" || head.version == "HTTP/1.0");
}

bool parseField(std::string_view line, HttpHead& head) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
        return false;
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return (c >= 0 && c < ' ' && c != '\t') || c == 0x7f; }))
        return false;
    head.fields.emplace_back(lowered(line.substr(0, colon)), std::string(value));
    return true;
}

} // namespace

std::string HttpHead::field(std::string_view name) const {
    for (const auto& [key, value] : fields)
        if (equalNoCase(key, name))
            return value;
    return {};
}

std::size_t HttpHead::count(std::string_view name) const {
    return static_cast<std::size_t>(
        std::count_if(fields.begin(), fields.end(),
                      [&](const auto& field) { return equalNoCase(field.first, name); }));
}

HttpHead::Status HttpHead::parse(std::string_view bytes, HttpHead& head, std::size_t& length) {
    head = {};
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        const std::size_t lineEnd = bytes.find("\r\n");
        if ((lineEnd == std::string_view::npos ? bytes.size() : lineEnd) > kMaxRequestLine ||
            bytes.size() >= kMaxHeadBytes)
            return Status::TooLarge;
        return Status::Incomplete;
    }
    if (end + 4 > kMaxHeadBytes)
        return Status::TooLarge;
    std::string_view rest = bytes.substr(0, end + 2);
    bool first = true;
    while (!rest.empty()) {
        const std::size_t lineEnd = rest.find("\r\n");
        const std::string_view line = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd + 2);
        if (first) {
            if (line.size() > kMaxRequestLine)
                return Status::TooLarge;
            if (!parseRequestLine(line, head))
                return Status::Malformed;
            first = false;
            continue;
        }
        // A bare CR or LF inside a line, or a folded line, is not taken.
        if (line.find_first_of("\r\n") != std::string_view::npos || line.front() == ' ' ||
            line.front() == '\t' || !parseField(line, head))
            return Status::Malformed;
        if (head.fields.size() > kMaxFields)
            return Status::TooLarge;
    }
    length = end + 4;
    return Status::Complete;
}

bool hostIsOwn(std::string_view host, const std::vector<std::string>& names, int port) {
    const std::size_t colon = host.rfind(':');
    if (colon == std::string_view::npos)
        return false;
    const std::string_view portText = host.substr(colon + 1);
    if (!isDecimalDigits(portText) || portText.size() > 5 || portText.front() == '0' ||
        std::stoi(std::string(portText)) != port)
        return false;
    const std::string_view name = host.substr(0, colon);
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& own) { return equalNoCase(own, name); });
}

} // namespace nuvok
