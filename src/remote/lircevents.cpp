#include "remote/lircevents.h"

#include "common/numtext.h"

#include <algorithm>
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

// A name as a button or remote may have it: no control codes.
bool isName(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

bool equalsIgnoringCase(std::string_view text, std::string_view upper) {
    if (text.size() != upper.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != upper[i])
            return false;
    return true;
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
        else if (m_inReply)
            replyLine({}, kMaxLine + 1); // dropped, but part of the reply all the same
        m_pending.clear();
        m_skippingOverlong = false;
        bytes.remove_prefix(end + 1);
    }
    return events;
}

void LircLineReader::problem(std::string text) {
    // A stream of garbage, or a trickle of it, is told a few times per
    // connection, not once per line.
    if (m_problemsTold < kMaxProblems)
        m_problems.push_back(std::move(text));
    else if (m_problemsTold == kMaxProblems)
        m_problems.emplace_back("IR: more lines from lircd were dropped; no more are told until "
                                "lircd is connected again");
    else
        return;
    ++m_problemsTold;
}

// One more line of a reply block; a block that never ends would swallow
// every button event after it.
void LircLineReader::replyLine(std::string_view text, std::size_t length) {
    ++m_replyLines;
    m_replyBytes += length + 1;
    if (m_replyLines < kMaxReplyLines && m_replyBytes <= kMaxReplyBytes) {
        m_replyText.emplace_back(text);
        return;
    }
    m_inReply = false;
    m_replyText.clear();
    problem(std::string("IR: a reply from lircd had no END within ") +
            (m_replyBytes > kMaxReplyBytes ? std::to_string(kMaxReplyBytes / 1024) + " KiB"
                                           : std::to_string(kMaxReplyLines) + " lines") +
            "; reading button events again");
}

void LircLineReader::line(std::string_view text, std::vector<LircEvent>& events) {
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    if (m_inReply) {
        if (text == "END")
            replyEnded();
        else
            replyLine(text, text.size());
        return;
    }
    if (text == "BEGIN") {
        m_inReply = true;
        m_replyLines = 0;
        m_replyBytes = 0;
        m_replyText.clear();
        return;
    }
    const std::vector<std::string_view> parts = words(text);
    if (parts.size() != 4 || !isHex(parts[0]) || !isHex(parts[1]) || parts[1].size() > 8 ||
        !isName(parts[2]) || !isName(parts[3])) {
        if (!text.empty())
            problem("IR: dropped a line from lircd that is no button event: \"" + shown(text) +
                    "\"");
        return;
    }
    events.push_back({static_cast<unsigned>(std::stoul(std::string(parts[1]), nullptr, 16)),
                      std::string(parts[2]), std::string(parts[3])});
}

// "<command>", then "SUCCESS" or "ERROR", then "DATA", a count and that many
// lines; each part after the command may be missing.
void LircLineReader::replyEnded() {
    m_inReply = false;
    const std::vector<std::string> lines = std::exchange(m_replyText, {});
    if (m_replies.size() >= kMaxReplies)
        return;
    LircReply reply;
    std::size_t at = 0;
    if (at < lines.size())
        reply.command = lines[at++];
    if (at < lines.size() && (lines[at] == "SUCCESS" || lines[at] == "ERROR"))
        reply.success = lines[at++] == "SUCCESS";
    if (at + 1 < lines.size() && lines[at] == "DATA" && isDecimalDigits(lines[at + 1])) {
        // More lines than the block has cannot come: the count is bounded by them.
        const std::size_t count =
            std::min<std::size_t>(std::stoul(lines[at + 1].substr(0, 4)), lines.size() - (at + 2));
        reply.data.assign(lines.begin() + static_cast<std::ptrdiff_t>(at + 2),
                          lines.begin() + static_cast<std::ptrdiff_t>(at + 2 + count));
    }
    m_replies.push_back(std::move(reply));
}

std::vector<std::string> LircLineReader::takeProblems() {
    return std::exchange(m_problems, {});
}

std::vector<LircReply> LircLineReader::takeReplies() {
    return std::exchange(m_replies, {});
}

void LircLineReader::reset() {
    m_pending.clear();
    m_skippingOverlong = false;
    m_inReply = false;
    m_replyText.clear();
    m_problemsTold = 0;
    m_problems.clear();
    m_replies.clear();
}

bool isVersionReply(const LircReply& reply) {
    return equalsIgnoringCase(reply.command, "VERSION");
}

std::optional<std::string> lircVersionOf(const LircReply& reply) {
    if (!isVersionReply(reply) || !reply.success || reply.data.empty())
        return std::nullopt;
    const std::string version = shown(reply.data.front());
    if (version.find_first_not_of(' ') == std::string::npos)
        return std::nullopt;
    return version;
}

} // namespace nuvok
