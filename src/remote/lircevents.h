#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nuvok {

// One button event as lircd tells it: "<code> <repeat> <button> <remote>".
// The code is not kept: lircd's clients go by the names.
struct LircEvent {
    unsigned repeat = 0; // 0 for the press, then 1, 2, ... while it is held
    std::string button;
    std::string remote;
};

// A reply block as lircd and WinLIRC write it, between BEGIN and END: the
// command it answers ("SIGHUP", sent unasked after a reload, has no result),
// SUCCESS or ERROR, and the lines after "DATA" and their count.
struct LircReply {
    std::string command;
    bool success = false; // SUCCESS; false for ERROR or neither
    std::vector<std::string> data;
};

// Whether it answers VERSION, whatever its result.
bool isVersionReply(const LircReply& reply);

// The daemon's version from its answer to VERSION, as the log may show it
// (printable ASCII, cut short); none for another reply, an error or no data.
std::optional<std::string> lircVersionOf(const LircReply& reply);

// Splits what lircd writes into button events: one per line, and the reply
// blocks (BEGIN ... END) that may come between them apart. A line that is
// not an event, or longer than any event, is dropped and told once in
// problems(), at most kMaxProblems times per connection and then once that
// more go untold; a reply block without END within kMaxReplyLines lines or
// kMaxReplyBytes ends there, told once, and is no reply. A line cut at the
// end of a read waits for the rest.
class LircLineReader {
public:
    static constexpr std::size_t kMaxLine = 512;
    static constexpr std::size_t kMaxProblems = 4;
    static constexpr std::size_t kMaxReplyLines = 100;
    static constexpr std::size_t kMaxReplyBytes = 4096;
    // Replies kept until they are taken; more in between are left out.
    static constexpr std::size_t kMaxReplies = 8;

    std::vector<LircEvent> feed(std::string_view bytes);
    // What was dropped since the last call, for the log.
    std::vector<std::string> takeProblems();
    // The reply blocks that ended since the last call, at most kMaxReplies.
    std::vector<LircReply> takeReplies();
    // A new connection: nothing of the old one carries over.
    void reset();

private:
    void line(std::string_view text, std::vector<LircEvent>& events);
    void problem(std::string text);
    void replyLine(std::string_view text, std::size_t length);
    void replyEnded();

    std::string m_pending;
    bool m_skippingOverlong = false;
    bool m_inReply = false;
    std::size_t m_replyLines = 0; // of the reply block, after BEGIN
    std::size_t m_replyBytes = 0;
    std::vector<std::string> m_replyText; // its lines so far, within the bounds above
    std::size_t m_problemsTold = 0;       // on this connection
    std::vector<std::string> m_problems;
    std::vector<LircReply> m_replies;
};

} // namespace nuvok
