#include "support/check.h"
#include "support/failureof.h"

#include "common/failure.h"
#include "handsetcommandline.h"
#include "remote/keymessage.h"

#include <string>
#include <vector>

using namespace nuvok;
using nuvok::test::failureOf;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values)
        text.push_back(static_cast<char>(value));
    return text;
}

void checkMentions(const std::string& description, const std::string& mentions,
                   const std::string& what) {
    if (description.find(mentions) == std::string::npos)
        test::fail(__FILE__, __LINE__,
                   what + " failed with \"" + description + "\", expected a mention of \"" +
                       mentions + "\"");
}

} // namespace

TEST_CASE("keys become their key code followed by the kind byte") {
    struct Row {
        const char* key;
        std::string message;
    };
    const Row rows[] = {
        {"menu", bytes({238, 172})},   {"up", bytes({14, 172})},
        {"down", bytes({15, 172})},    {"left", bytes({16, 172})},
        {"right", bytes({17, 172})},   {"select", bytes({4, 172})},
        {"239", bytes({239, 172})},    {"0", bytes({48, 172})},
        {"9", bytes({57, 172})},       {"00", bytes({0, 172})},
        {"05", bytes({5, 172})},       {"10", bytes({10, 172})},
        {"255", bytes({255, 172})},    {"0065", bytes({65, 172})},
        {"MENU", bytes({238, 172})},   {"Select", bytes({4, 172})},
        {"65:menu", bytes({65, 175})}, {"menu:menu", bytes({238, 175})},
        {"0:MENU", bytes({48, 175})},  {"00:menu", bytes({0, 175})},
    };
    for (const Row& row : rows)
        CHECK_EQ(encodeKey(row.key), row.message);
}

TEST_CASE("unusable keys are refused with a message that names them") {
    struct Row {
        const char* key;
        const char* mentions;
    };
    const Row rows[] = {
        {"256", "key code 256 is out of range"},
        {"99999999999999999999", "out of range"},
        {"enter", "unknown key \"enter\""},
        {"-5", "unknown key \"-5\""},
        {"5a", "unknown key \"5a\""},
        {"", "unknown key \"\""},
        {"5:key", "unknown key kind in \"5:key\""},
        {"5:menu:menu", "unknown key kind"},
        {":menu", "a key is missing in \":menu\""},
        {"up:", "unknown key kind"},
    };
    for (const Row& row : rows) {
        checkMentions(failureOf([&] { encodeKey(row.key); }), row.mentions,
                      std::string("key \"") + row.key + "\"");
    }
}

TEST_CASE("raw hex becomes the bytes it spells") {
    CHECK_EQ(decodeHex("35ac"), bytes({0x35, 0xAC}));
    CHECK_EQ(decodeHex("35 AC:36 ac"), bytes({0x35, 0xAC, 0x36, 0xAC}));
    CHECK_EQ(decodeHex("00"), bytes({0}));
    CHECK_EQ(decodeHex(""), std::string());
    CHECK_EQ(decodeHex("ff"), bytes({255}));
    CHECK_THROWS(decodeHex("3"));
    CHECK_THROWS(decodeHex("35a"));
    CHECK_THROWS(decodeHex("3g"));
    CHECK_THROWS(decodeHex("0x35"));
    CHECK_THROWS(decodeHex("3 5"));
}

TEST_CASE("without options the messages go by UDP to port 65530 on loopback") {
    const HandsetOptions options = parseHandsetArguments({"menu", "left", "3"});
    CHECK(!options.tcp);
    CHECK_EQ(options.host, std::string("127.0.0.1"));
    CHECK_EQ(options.port, 65530);
    CHECK_EQ(options.delayMs, kDefaultHandsetDelayMs);
    CHECK(!options.showHelp);
    const std::vector<std::string> expected{bytes({238, 172}), bytes({16, 172}), bytes({51, 172})};
    CHECK(options.messages == expected);
}

TEST_CASE("options take their value from the next argument or after an equals sign") {
    const HandsetOptions options =
        parseHandsetArguments({"--tcp", "--host", "localhost", "--port=5000", "5", "--delay", "0",
                               "--raw", "35ac36ac", "65:menu", "--host=::1"});
    CHECK(options.tcp == true);
    CHECK_EQ(options.host, std::string("::1"));
    CHECK_EQ(options.port, 5000);
    CHECK_EQ(options.delayMs, 0);
    // Keys and raw messages keep the order in which they were given.
    const std::vector<std::string> expected{bytes({53, 172}), bytes({0x35, 0xAC, 0x36, 0xAC}),
                                            bytes({65, 175})};
    CHECK(options.messages == expected);
    // An empty datagram is a message of its own.
    CHECK(parseHandsetArguments({"--raw="}).messages == std::vector<std::string>{std::string()});
}

TEST_CASE("help needs no key and wins over everything else") {
    CHECK(parseHandsetArguments({"--help"}).showHelp);
    CHECK(parseHandsetArguments({"-h", "--port", "80"}).showHelp);
    CHECK(parseHandsetArguments({"menu", "--help"}).showHelp);
}

TEST_CASE("wrong command lines are refused with a message for the user") {
    struct Row {
        std::vector<std::string> arguments;
        const char* mentions;
    };
    std::string tooLongHex;
    for (std::size_t i = 0; i < kMaxDatagramBytes + 1; ++i)
        tooLongHex += "61";
    const Row rows[] = {
        {{}, "no key given"},
        {{"--tcp"}, "no key given"},
        {{"--port"}, "--port needs a value"},
        {{"up", "--host"}, "--host needs a value"},
        {{"--host=", "up"}, "--host needs a host name"},
        {{"--port", "0", "up"}, "--port: \"0\" is not a port number from 1 to 65535"},
        {{"--port", "65536", "up"}, "from 1 to 65535"},
        {{"--port", "-1", "up"}, "from 1 to 65535"},
        {{"--port", "80x", "up"}, "from 1 to 65535"},
        {{"--port=", "up"}, "from 1 to 65535"},
        {{"--delay", "-5", "up"}, "--delay: \"-5\" is not a number of milliseconds"},
        {{"--delay", "600001", "up"}, "from 0 to 600000"},
        {{"--raw", "xyz"}, "not hexadecimal"},
        {{"--verbose", "up"}, "unknown option \"--verbose\""},
        {{"--tcp=1", "up"}, "unknown option \"--tcp=1\""},
        {{"--tcp", "--raw", ""}, "empty --raw message cannot be sent over TCP"},
        {{"--raw", tooLongHex}, "does not fit into one UDP datagram"},
        {{"up", "sideways"}, "unknown key \"sideways\""},
    };
    for (const Row& row : rows) {
        checkMentions(failureOf([&] { parseHandsetArguments(row.arguments); }), row.mentions,
                      "a command line");
    }
    // The largest datagram still goes.
    std::string largestHex;
    for (std::size_t i = 0; i < kMaxDatagramBytes; ++i)
        largestHex += "61";
    CHECK_EQ(parseHandsetArguments({"--raw", largestHex}).messages.front().size(),
             kMaxDatagramBytes);
}
