#pragma once

#include <cstddef>
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

// Splits what lircd writes into button events: one per line, skipping the
// reply blocks (BEGIN ... END) that may come between them. A line that is
// not an event, or longer than any event, is dropped and told once in
// problems(), at most kMaxProblems times per connection and then once that
// more go untold; a reply block without END within kMaxReplyLines lines or
// kMaxReplyBytes ends there, told once. A line cut at the end of a read waits
// for the rest.
class LircLineReader {
public:
    static constexpr std::size_t kMaxLine = 512;
    static constexpr std::size_t kMaxProblems = 4;
    static constexpr std::size_t kMaxReplyLines = 100;
    static constexpr std::size_t kMaxReplyBytes = 4096;

    std::vector<LircEvent> feed(std::string_view bytes);
    // What was dropped since the last call, for the log.
    std::vector<std::string> takeProblems();
    // A new connection: nothing of the old one carries over.
    void reset();

private:
    void line(std::string_view text, std::vector<LircEvent>& events);
    void problem(std::string text);
    void replyLine(std::size_t length);

    std::string m_pending;
    bool m_skippingOverlong = false;
    bool m_inReply = false;
    std::size_t m_replyLines = 0; // of the reply block, after BEGIN
    std::size_t m_replyBytes = 0;
    std::size_t m_problemsTold = 0; // on this connection
    std::vector<std::string> m_problems;
};

} // namespace nuvok
