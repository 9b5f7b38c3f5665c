#include "support/check.h"

#include "common/failure.h"
#include "remote/keymessage.h"
#include "remote/nestinglimit.h"

#include <memory>
#include <vector>

using namespace nuvok;

TEST_CASE("key messages decode to their log line and key code") {
    struct Row {
        std::string data;
        std::string logLine;
        int key; // -1: nothing to hand on
    };
    const Row rows[] = {
        {std::string("5\xAC", 2), "Remote: 5", '5'},
        {std::string("A\xAF", 2), "RemoteMenu:  65", 65},
        {std::string("\0\xAF", 2), "RemoteMenu:  0", 0},
        {std::string("\0\xAC", 2), std::string("Remote: \0", 9), 0},
        {std::string("\x80\xAC", 2), "Remote: \xE2\x82\xAC", 0x80},
        {std::string("\xFF\xAC", 2), "Remote: \xC3\xBF", 255},
        {std::string("\xEE\xAF", 2), "RemoteMenu:  238", 238},
        {std::string("8\xAC\x01\x02", 4), "Remote: 8", '8'},
        {std::string("5\0", 2), "", -1},
        {std::string("5\xAD", 2), "", -1},
        {std::string("\xAC\x35", 2), "", -1},
    };
    for (const Row& row : rows) {
        const DecodedKeyMessage message = decodeKeyMessage(row.data);
        CHECK_EQ(message.logLine, row.logLine);
        CHECK_EQ(message.key.value_or(-1), row.key);
    }
}

TEST_CASE("messages shorter than two bytes are refused with their length") {
    for (const std::string& data : {std::string(), std::string("5")}) {
        try {
            decodeKeyMessage(data);
            CHECK(false);
        } catch (const Failure& failure) {
            const std::string expected =
                data.empty() ? "Ignored a message of 0 bytes" : "Ignored a message of 1 byte:";
            CHECK(failure.description().starts_with(expected));
        }
    }
}

TEST_CASE("a TCP stream yields every complete pair in order, however it was cut") {
    struct Row {
        std::vector<std::string> reads;
        std::vector<std::string> messages;
        std::string rest;
    };
    const std::string three("1\xAC"
                            "2\xAC"
                            "3\xAC");
    const std::vector<Row> rows{
        {{three}, {"1\xAC", "2\xAC", "3\xAC"}, ""},
        {{"5", "\xAC"}, {"5\xAC"}, ""},
        {{"5"}, {}, "5"},
        {{"1\xAC"
          "2",
          "\xAC"
          "3",
          "\xAC"},
         {"1\xAC", "2\xAC", "3\xAC"},
         ""},
        {{"", "1", "",
          "\xAC"
          "4"},
         {"1\xAC"},
         "4"},
        {{std::string("\0\xAC\0", 3)}, {std::string("\0\xAC", 2)}, std::string(1, '\0')},
    };
    for (const Row& row : rows) {
        KeyMessageStream stream;
        std::vector<std::string> messages;
        for (const std::string& read : row.reads) {
            stream.append(read);
            while (auto message = stream.next())
                messages.push_back(*message);
        }
        CHECK(messages == row.messages);
        CHECK_EQ(stream.takeRest(), row.rest);
        CHECK(!stream.next());
        CHECK_EQ(stream.takeRest(), std::string());
    }
}

TEST_CASE("nesting beyond the bound is turned away and reported once it is below again") {
    NestingLimit limit(3);
    std::vector<std::unique_ptr<NestingLimit::Level>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<NestingLimit::Level>(limit));
        CHECK(held.back()->admitted());
    }
    CHECK_EQ(limit.depth(), 3);
    for (int i = 0; i < 5; ++i) {
        const NestingLimit::Level turnedAway(limit);
        CHECK(!turnedAway.admitted());
    }
    CHECK_EQ(limit.depth(), 3);
    CHECK_EQ(limit.takeTurnedAway(), std::uint64_t(0)); // the burst is still on
    held.pop_back();
    CHECK_EQ(limit.takeTurnedAway(), std::uint64_t(5));
    CHECK_EQ(limit.takeTurnedAway(), std::uint64_t(0)); // reported once
    {
        const NestingLimit::Level again(limit);
        CHECK(again.admitted());
        const NestingLimit::Level beyond(limit);
        CHECK(!beyond.admitted());
    }
    CHECK_EQ(limit.depth(), 2);
    CHECK_EQ(limit.takeTurnedAway(), std::uint64_t(1));
    held.clear();
    CHECK_EQ(limit.depth(), 0);
}

TEST_CASE("a bound below one still admits one level") {
    NestingLimit limit(0);
    const NestingLimit::Level first(limit);
    CHECK(first.admitted());
    const NestingLimit::Level second(limit);
    CHECK(!second.admitted());
}

TEST_CASE("the drop report counts messages in singular and plural") {
    CHECK_EQ(
        droppedMessagesText(1, 32),
        std::string("Dropped 1 message that arrived while 32 others were still being handled"));
    CHECK_EQ(droppedMessagesText(68, 32),
             std::string("Dropped 68 messages that arrived while 32 others were still being "
                         "handled"));
}
