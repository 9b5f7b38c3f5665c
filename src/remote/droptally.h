#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace nuvok {

// Counts what was dropped from senders that are not allowed in, so that a
// flood costs a few log lines instead of one per message. The first drop from
// a sender is reported at once; the rest of its burst is summed up after it
// has been quiet for a while, or every so often while it goes on. A flood from
// many addresses cannot grow it without bound: beyond a fixed number of
// senders the rest are counted together. Times are milliseconds of any
// monotonic clock.
struct DropTiming {
    std::int64_t quietMs = 1000;    // a burst ends after this long without a drop
    std::int64_t summaryMs = 10000; // a burst that goes on is summed up this often
    std::size_t maxSenders = 64;    // senders counted one by one
};

class DropTally {
public:
    using Timing = DropTiming;

    explicit DropTally(Timing timing = {}) : m_timing(timing) {}

    // One drop from sender; returns the line to log now, or the empty text.
    std::string record(const std::string& sender, std::int64_t nowMs);
    // The lines due at nowMs: bursts that ended or ran for summaryMs.
    std::vector<std::string> due(std::int64_t nowMs);
    // Whether any burst is open (and due() has lines to come).
    bool busy() const { return !m_bursts.empty() || m_others.open; }
    std::size_t sendersCounted() const { return m_bursts.size(); }

private:
    struct Burst {
        bool open = false;
        std::uint64_t unreported = 0;
        std::int64_t lastDropMs = 0;
        std::int64_t lastLineMs = 0;
    };
    // Adds the line for burst's unreported drops, if any, to lines.
    static void report(Burst& burst, const std::string& from, std::int64_t nowMs,
                       std::vector<std::string>& lines);

    Timing m_timing;
    std::map<std::string, Burst> m_bursts;
    Burst m_others; // senders beyond maxSenders, together
};

} // namespace nuvok
