#include "remote/lircevents.h"

#include <cctype>
#include <utility>

namespace nuvok {
namespace {

bool isHex(std::string_view text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> found;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        const std::size_t start = at;
        while (at < text.size() && text[at] != ' ' && text[at] != '\t')
            ++at;
        if (at > start)
            found.push_back(text.substr(start, at - start));
    }
    return found;
}

// A line as the log may show it: printable ASCII, cut short.
std::string shown(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 60))
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    if (text.size() > 60)
        out += "...";
    return out;
}

} // namespace

std::vector<LircEvent> LircLineReader::feed(std::string_view bytes) {
    std::vector<LircEvent> events;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view part = bytes.substr(0, end);
        if (m_skippingOverlong) {
            // The rest of a line already dropped.
        } else if (m_pending.size() + part.size() > kMaxLine) {
            problem("IR: dropped a line from lircd longer than " + std::to_string(kMaxLine) +
                    " characters");
            m_pending.clear();
            m_skippingOverlong = true;
        } else {
            m_pending.append(part);
        }
        if (end == std::string_view::npos)
            break;
        if (!m_skippingOverlong)
            line(m_pending, events);
        m_pending.clear();
        m_skippingOverlong = false;
        bytes.remove_prefix(end + 1);
    }
    return events;
}

void LircLineReader::problem(std::string text) {
    // A stream of garbage is told a few times, not once per line.
    if (m_problems.size() < kMaxProblems)
        m_problems.push_back(std::move(text));
}

void LircLineReader::line(std::string_view text, std::vector<LircEvent>& events) {
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (m_inReply) {
        m_inReply = text != "END";
        return;
    }
    if (text == "BEGIN") {
        m_inReply = true;
        return;
    }
    const std::vector<std::string_view> parts = words(text);
    if (parts.size() != 4 || !isHex(parts[0]) || !isHex(parts[1]) || parts[1].size() > 8) {
        if (!text.empty())
            problem("IR: dropped a line from lircd that is no button event: \"" + shown(text) +
                    "\"");
        return;
    }
    events.push_back({static_cast<unsigned>(std::stoul(std::string(parts[1]), nullptr, 16)),
                      std::string(parts[2]), std::string(parts[3])});
}

std::vector<std::string> LircLineReader::takeProblems() {
    return std::exchange(m_problems, {});
}

void LircLineReader::reset() {
    m_pending.clear();
    m_skippingOverlong = false;
    m_inReply = false;
}

} // namespace nuvok
