#include "support/check.h"

#include "remote/droptally.h"

#include <regex>
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

IpAddress ip(const std::string& text) {
    return parseAddress(text).address;
}

// How many drops a line tells of.
std::uint64_t counted(const std::string& line) {
    static const std::regex count(R"(^Ignored (a|\d+) (more )?messages? from )");
    std::smatch match;
    if (!std::regex_search(line, match, count))
        return 0;
    return match[1] == "a" ? 1 : std::stoull(match[1].str());
}

} // namespace

TEST_CASE("a burst is one line at once and one summary after a quiet second") {
    DropTally tally(kTiming);
    CHECK_EQ(tally.record(ip("127.0.0.3"), 0),
             "Ignored a message from 127.0.0.3 (not in Handsets)");
    for (int ms = 1; ms < 500; ++ms)
        CHECK_EQ(tally.record(ip("127.0.0.3"), ms), "");
    CHECK(tally.due(1498).empty()); // quiet for less than a second
    CHECK(tally.busy());
    CHECK_EQ(joined(tally.due(1499)),
             "Ignored 499 more messages from 127.0.0.3 (not in Handsets)\n");
    CHECK(!tally.busy());
    CHECK_EQ(tally.sendersCounted(), 0u);
    // The next burst starts with a line at once again.
    CHECK_EQ(tally.record(ip("127.0.0.3"), 5000),
             "Ignored a message from 127.0.0.3 (not in Handsets)");
}

TEST_CASE("a single drop needs no summary") {
    DropTally tally(kTiming);
    CHECK(!tally.record(ip("::1"), 0).empty());
    CHECK(tally.due(1000).empty());
    CHECK(!tally.busy());
}

TEST_CASE("one more message is counted in the singular") {
    DropTally tally(kTiming);
    tally.record(ip("127.0.0.3"), 0);
    tally.record(ip("127.0.0.3"), 10);
    CHECK_EQ(joined(tally.due(2000)), "Ignored 1 more message from 127.0.0.3 (not in Handsets)\n");
}

TEST_CASE("a flood that never pauses is summed up every ten seconds") {
    DropTally tally(kTiming);
    std::vector<std::string> lines;
    for (std::int64_t ms = 0; ms <= 25000; ms += 10) {
        const std::string now = tally.record(ip("127.0.0.3"), ms);
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

TEST_CASE("senders are counted apart, beyond the bound together, and told in one line") {
    DropTally tally(kTiming); // three senders one by one
    std::vector<std::string> atOnce;
    for (int round = 0; round < 2; ++round)
        for (int i = 1; i <= 1000; ++i) {
            const std::string line = tally.record(ip("127.0.0." + std::to_string(i % 250)), i);
            if (!line.empty())
                atOnce.push_back(line);
        }
    CHECK_EQ(tally.sendersCounted(), 3u);
    CHECK_EQ(joined(atOnce), "Ignored a message from 127.0.0.1 (not in Handsets)\n");
    // 127.0.0.1 sent 4 messages in each round (i = 1, 251, 501, 751), one told, and so did
    // 127.0.0.2 and 127.0.0.3; the others the rest of the 2000.
    CHECK_EQ(joined(tally.due(3000)), "Ignored 1999 messages from 127.0.0.2 and more than 2 "
                                      "other senders (not in Handsets)\n");
    CHECK(!tally.busy());
}

TEST_CASE("a sender new within a second of a line is told with the next one") {
    struct Row {
        std::vector<std::pair<std::string, std::int64_t>> drops; // sender, when
        std::int64_t dueAt;
        std::string lines; // at once, then due at dueAt
    };
    const std::string a = "Ignored a message from 127.0.0.3 (not in Handsets)\n";
    const std::vector<Row> rows{
        {{{"127.0.0.3", 0}, {"::1", 100}}, 999, a},
        {{{"127.0.0.3", 0}, {"::1", 100}},
         1000,
         a + "Ignored a message from ::1 (not in Handsets)\n"},
        {{{"127.0.0.3", 0}, {"::1", 100}, {"::1", 200}, {"127.0.0.3", 300}},
         1000,
         a + "Ignored 2 messages from ::1 (not in Handsets)\n"},
        {{{"127.0.0.3", 0}, {"127.0.0.3", 10}, {"::1", 100}, {"::2", 100}},
         1500,
         a + "Ignored 3 messages from 127.0.0.3 and 2 other senders (not in Handsets)\n"},
        {{{"127.0.0.3", 0}, {"127.0.0.3", 10}, {"127.0.0.4", 20}, {"127.0.0.4", 30}},
         1500,
         a + "Ignored 3 messages from 127.0.0.4 and 1 other sender (not in Handsets)\n"},
        {{{"127.0.0.3", 0}, {"127.0.0.3", 10}, {"127.0.0.3", 20}},
         1500,
         a + "Ignored 2 more messages from 127.0.0.3 (not in Handsets)\n"},
    };
    for (const Row& row : rows) {
        DropTally tally(kTiming);
        std::string lines;
        for (const auto& [sender, ms] : row.drops)
            if (const std::string now = tally.record(ip(sender), ms); !now.empty())
                lines += now + "\n";
        for (const std::string& line : tally.due(row.dueAt))
            lines += line + "\n";
        CHECK_EQ(lines, row.lines);
    }
}

TEST_CASE("a flood from many senders is one line a second at most, and every drop is told") {
    DropTally tally(kTiming);
    std::int64_t lastLine = -1000;
    std::uint64_t told = 0;
    std::uint64_t sent = 0;
    const auto tell = [&](const std::string& line, std::int64_t ms) {
        CHECK(ms - lastLine >= 1000);
        lastLine = ms;
        told += counted(line);
    };
    for (std::int64_t ms = 0; ms < 30000; ms += 5) {
        // Up to 15 senders, more than are counted one by one, joining in turn.
        for (int sender = 0; sender <= (ms / 100) % 100; sender += 7, ++sent) {
            const std::string line = tally.record(ip("127.0.1." + std::to_string(sender)), ms);
            if (!line.empty())
                tell(line, ms);
        }
        if (ms % 250 == 0)
            for (const std::string& line : tally.due(ms))
                tell(line, ms);
    }
    for (std::int64_t ms = 30000; tally.busy(); ms += 250)
        for (const std::string& line : tally.due(ms))
            tell(line, ms);
    CHECK_EQ(told, sent);
}
