#include "support/check.h"

#include "remote/droptally.h"

#include <string>
#include <vector>

using namespace nuvok;

namespace {

const DropTally::Timing kTiming{1000, 10000, 3};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST_CASE("a burst is one line at once and one summary after a quiet second") {
    DropTally tally(kTiming);
    CHECK_EQ(tally.record("127.0.0.3", 0), "Ignored a message from 127.0.0.3 (not in Handsets)");
    for (int ms = 1; ms < 500; ++ms)
        CHECK_EQ(tally.record("127.0.0.3", ms), "");
    CHECK(tally.due(1498).empty()); // quiet for less than a second
    CHECK(tally.busy());
    CHECK_EQ(joined(tally.due(1499)),
             "Ignored 499 more messages from 127.0.0.3 (not in Handsets)\n");
    CHECK(!tally.busy());
    CHECK_EQ(tally.sendersCounted(), 0u);
    // The next burst starts with a line at once again.
    CHECK_EQ(tally.record("127.0.0.3", 5000), "Ignored a message from 127.0.0.3 (not in Handsets)");
}

TEST_CASE("a single drop needs no summary") {
    DropTally tally(kTiming);
    CHECK(!tally.record("::1", 0).empty());
    CHECK(tally.due(1000).empty());
    CHECK(!tally.busy());
}

TEST_CASE("one more message is counted in the singular") {
    DropTally tally(kTiming);
    tally.record("127.0.0.3", 0);
    tally.record("127.0.0.3", 10);
    CHECK_EQ(joined(tally.due(2000)), "Ignored 1 more message from 127.0.0.3 (not in Handsets)\n");
}

TEST_CASE("a flood that never pauses is summed up every ten seconds") {
    DropTally tally(kTiming);
    std::vector<std::string> lines;
    for (std::int64_t ms = 0; ms <= 25000; ms += 10) {
        const std::string now = tally.record("127.0.0.3", ms);
        if (!now.empty())
            lines.push_back(now);
        for (const std::string& line : tally.due(ms))
            lines.push_back(line);
    }
    CHECK_EQ(lines.size(), 3u); // at once, after 10 s, after 20 s
    CHECK_EQ(lines[1], "Ignored 1000 more messages from 127.0.0.3 (not in Handsets)");
    CHECK_EQ(lines[2], "Ignored 1000 more messages from 127.0.0.3 (not in Handsets)");
    CHECK_EQ(joined(tally.due(27000)),
             "Ignored 500 more messages from 127.0.0.3 (not in Handsets)\n");
}

TEST_CASE("senders are counted apart, and beyond the bound together") {
    DropTally tally(kTiming); // three senders one by one
    std::vector<std::string> atOnce;
    for (int round = 0; round < 2; ++round)
        for (int i = 1; i <= 1000; ++i) {
            const std::string line = tally.record("127.0.0." + std::to_string(i % 250), i);
            if (!line.empty())
                atOnce.push_back(line);
        }
    CHECK_EQ(tally.sendersCounted(), 3u);
    CHECK_EQ(atOnce.size(), 4u); // three senders and the rest
    CHECK_EQ(atOnce[3], "Ignored a message from one of many more senders, counted together from "
                        "now on (not in Handsets)");
    const std::vector<std::string> summary = tally.due(3000);
    CHECK_EQ(summary.size(), 4u);
    // 127.0.0.1 sent 4 messages in each round (i = 1, 251, 501, 751), one logged.
    CHECK_EQ(summary[0], "Ignored 7 more messages from 127.0.0.1 (not in Handsets)");
    // The rest of the 2000 went to the others, one of them logged at once.
    CHECK_EQ(summary[3], "Ignored 1975 more messages from other senders (not in Handsets)");
    CHECK(!tally.busy());
}
