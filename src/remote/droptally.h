#pragma once

#include "common/ipaddress.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nuvok {

// Counts what was dropped from senders that are not allowed in, so that a
// flood costs a few log lines instead of one per message: one line per
// lineGapMs at most, for all senders together. A sender's first drop is a
// line at once if no line went out within lineGapMs; otherwise it is counted
// and told with the next line. The rest of a burst is summed up after it has
// been quiet for a while, or every so often while it goes on; the senders due
// at the same time share one line. A flood from many addresses cannot grow it
// without bound: beyond a fixed number of senders the rest are counted
// together. Times are milliseconds of any monotonic clock.
struct DropTiming {
    std::int64_t quietMs = 1000;    // a burst ends after this long without a drop
    std::int64_t summaryMs = 10000; // a burst that goes on is summed up this often
    std::size_t maxSenders = 64;    // senders counted one by one
    std::int64_t lineGapMs = 1000;  // the least time between two lines
};

class DropTally {
public:
    using Timing = DropTiming;

    explicit DropTally(Timing timing = {}) : m_timing(timing) {}

    // One drop from sender; returns the line to log now, or the empty text.
    // Cheap for a sender already counted: no text is made, nothing allocated.
    std::string record(const IpAddress& sender, std::int64_t nowMs);
    // The line due at nowMs, if any: bursts that ended, ran for summaryMs or
    // have not been told yet, once lineGapMs has passed since the last line.
    std::vector<std::string> due(std::int64_t nowMs);
    // Whether any burst is open (and due() has lines to come).
    bool busy() const { return !m_bursts.empty() || m_others.open; }
    std::size_t sendersCounted() const { return m_bursts.size(); }

private:
    struct Burst {
        bool open = false;
        bool named = false; // a line has told of this burst
        std::uint64_t unreported = 0;
        std::int64_t lastDropMs = 0;
        std::int64_t lastLineMs = 0;
    };
    bool lineAllowed(std::int64_t nowMs) const {
        return !m_lastLineMs || nowMs - *m_lastLineMs >= m_timing.lineGapMs;
    }
    // One drop into burst: sender's own, or the others' (nullptr).
    std::string recordIn(Burst& burst, const IpAddress* sender, std::int64_t nowMs);
    // Whether burst has drops to tell at nowMs.
    bool isDue(const Burst& burst, std::int64_t nowMs) const;

    Timing m_timing;
    std::map<IpAddress, Burst> m_bursts;
    Burst m_others;                           // senders beyond maxSenders, together
    std::optional<std::int64_t> m_lastLineMs; // none before the first line
};

} // namespace nuvok
