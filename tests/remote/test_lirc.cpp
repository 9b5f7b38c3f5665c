// Infrared remotes through lircd: the event lines, what the buttons do in
// each mode, and which events of a held button act.

#include "remote/keymessage.h"
#include "remote/lircbuttons.h"
#include "remote/lircevents.h"
#include "support/check.h"
#include "support/fakeremoteactions.h"

#include <string>
#include <vector>

using nuvok::LircButtonMap;
using nuvok::LircEvent;
using nuvok::LircLineReader;
using nuvok::LircRepeats;
using nuvok::MediaKey;
using namespace std::chrono_literals;

namespace {

std::string shown(const std::vector<LircEvent>& events) {
    std::string text;
    for (const LircEvent& event : events)
        text += "[" + std::to_string(event.repeat) + " " + event.button + " " + event.remote + "]";
    return text;
}

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

std::string joined(const std::vector<std::string>& journal) {
    std::string text;
    for (const std::string& entry : journal)
        text += "[" + entry + "]";
    return text;
}

} // namespace

TEST_CASE("lircd's lines become events, its reply blocks and bad lines are left out") {
    struct Row {
        std::vector<std::string> reads; // as the socket hands them over
        std::string events;
        std::size_t problems;
    };
    const std::string press = "000000037ff07bee 00 KEY_VOLUMEUP myremote\n";
    const std::vector<Row> rows{
        {{press}, "[0 KEY_VOLUMEUP myremote]", 0},
        {{"000000037ff07bee 1a KEY_9 tv\r\n"}, "[26 KEY_9 tv]", 0},
        // Cut anywhere: the line waits for its rest.
        {{press.substr(0, 7), press.substr(7, 20), press.substr(27)},
         "[0 KEY_VOLUMEUP myremote]",
         0},
        {{"BEGIN\nSIGHUP\nEND\n", press}, "[0 KEY_VOLUMEUP myremote]", 0},
        {{"BEGIN\nLIST\nSUCCESS\nDATA\n1\n", "0 00 KEY_0 x\nEND\n" + press},
         "[0 KEY_VOLUMEUP myremote]",
         0},
        {{"hello\n", "zz 00 KEY_1 r\n", "0 00 KEY_1\n", press}, "[0 KEY_VOLUMEUP myremote]", 3},
        {{std::string(2000, 'a'), "\n" + press}, "[0 KEY_VOLUMEUP myremote]", 1},
        // Empty lines are no problem.
        {{"\n\n" + press}, "[0 KEY_VOLUMEUP myremote]", 0},
        {{"0 00 KEY\r_1 r\n", "0 00 KEY_1 r\x7f\n", press}, "[0 KEY_VOLUMEUP myremote]", 2},
        // A reply without END ends after 100 lines or 4 KiB, told once.
        {{"BEGIN\n" + repeated("DATA\n", 99) + "END\n" + press}, "[0 KEY_VOLUMEUP myremote]", 0},
        {{"BEGIN\n" + repeated("DATA\n", 100), press}, "[0 KEY_VOLUMEUP myremote]", 1},
        {{"BEGIN\n" + repeated(std::string(500, 'a') + "\n", 8) + press}, "", 0},
        {{"BEGIN\n" + repeated(std::string(500, 'a') + "\n", 9) + press},
         "[0 KEY_VOLUMEUP myremote]",
         1},
        {{"BEGIN\n" + repeated(std::string(600, 'a') + "\n", 8) + press},
         "[0 KEY_VOLUMEUP myremote]",
         5}, // four overlong lines told, then that more went untold
    };
    for (const Row& row : rows) {
        LircLineReader reader;
        std::vector<LircEvent> events;
        for (const std::string& read : row.reads)
            for (LircEvent& event : reader.feed(read))
                events.push_back(std::move(event));
        CHECK_EQ(shown(events), row.events);
        CHECK_EQ(reader.takeProblems().size(), row.problems);
    }
}

TEST_CASE("lircd's bad lines are told four times a connection, then once that more go untold") {
    LircLineReader reader;
    for (int connection = 0; connection < 2; ++connection) {
        std::vector<std::string> told;
        // A trickle, read by read.
        for (int i = 0; i < 50; ++i) {
            reader.feed("noise " + std::to_string(i) + "\n");
            for (std::string& line : reader.takeProblems())
                told.push_back(std::move(line));
        }
        CHECK_EQ(told.size(), 5u);
        CHECK_EQ(told[3], "IR: dropped a line from lircd that is no button event: \"noise 3\"");
        CHECK_EQ(told[4], "IR: more lines from lircd were dropped; no more are told until lircd "
                          "is connected again");
        reader.reset();
    }
    reader.feed("BEGIN\n" + repeated("x\n", 100));
    CHECK_EQ(joined(reader.takeProblems()),
             "[IR: a reply from lircd had no END within 100 lines; reading button events again]");
}

TEST_CASE("reply blocks are kept for the input, and VERSION's answer gives the version") {
    struct Row {
        std::vector<std::string> reads;
        std::string replies; // [command success data...]
        std::string version; // of the last one; "-" for none
    };
    const std::string press = "000000037ff07bee 00 KEY_OK r\n";
    const std::vector<Row> rows{
        // lircd 0.10, cut anywhere between events, and WinLIRC's CR LF.
        {{press + "BEGIN\nVERS", "ION\nSUCCESS\nDATA\n1\n0.10.1\nEND\n" + press},
         "[VERSION 1 0.10.1]",
         "0.10.1"},
        {{"BEGIN\r\nVERSION\r\nSUCCESS\r\nDATA\r\n1\r\n0.9.0\r\nEND\r\n"},
         "[VERSION 1 0.9.0]",
         "0.9.0"},
        {{"BEGIN\nVERSION\nERROR\nDATA\n1\nunknown\nEND\n"}, "[VERSION 0 unknown]", "-"},
        // A count beyond the block's lines, a huge one, none.
        {{"BEGIN\nVERSION\nSUCCESS\nDATA\n99999999999\n0.10.1\nEND\n"},
         "[VERSION 1 0.10.1]",
         "0.10.1"},
        {{"BEGIN\nVERSION\nSUCCESS\nDATA\nx\n0.10.1\nEND\n"}, "[VERSION 1]", "-"},
        // What the log may show of it.
        {{"BEGIN\nVERSION\nSUCCESS\nDATA\n1\n1\x1b[2J" + std::string(70, '0') + "\nEND\n"},
         "[VERSION 1 1\x1b[2J" + std::string(70, '0') + "]",
         "1?[2J" + std::string(55, '0') + "..."},
        {{"BEGIN\nSIGHUP\nEND\nBEGIN\nEND\n"}, "[SIGHUP 0][ 0]", "-"},
        // Cut at its bounds it is none; eight wait to be taken.
        {{"BEGIN\nVERSION\nSUCCESS\n" + repeated("DATA\n", 100) + "END\n"}, "", "-"},
        {{repeated("BEGIN\nSIGHUP\nEND\n", 9)}, repeated("[SIGHUP 0]", 8), "-"},
    };
    for (const Row& row : rows) {
        LircLineReader reader;
        std::vector<nuvok::LircReply> replies;
        for (const std::string& read : row.reads) {
            reader.feed(read);
            for (nuvok::LircReply& reply : reader.takeReplies())
                replies.push_back(std::move(reply));
        }
        std::string text;
        for (const nuvok::LircReply& reply : replies) {
            text += "[" + reply.command + (reply.success ? " 1" : " 0");
            for (const std::string& line : reply.data)
                text += " " + line;
            text += "]";
        }
        CHECK_EQ(text, row.replies);
        CHECK_EQ(replies.empty() ? "-" : nuvok::lircVersionOf(replies.back()).value_or("-"),
                 row.version);
    }
}

TEST_CASE("buttons map to key codes, the user's entries first") {
    LircButtonMap map;
    CHECK_EQ(map.find("KEY_UP")->keyCode.value_or(-1), nuvok::kKeyUp);
    CHECK_EQ(map.find("KEY_OK")->keyCode.value_or(-1), nuvok::kKeySelect);
    CHECK_EQ(map.find("KEY_BACK")->keyCode.value_or(-1), nuvok::kKeyIdle);
    CHECK_EQ(map.find("KEY_5")->keyCode.value_or(-1), '5');
    CHECK(map.find("KEY_VOLUMEUP")->media == MediaKey::VolumeUp);
    CHECK(!map.find("KEY_RED"));
    CHECK(map.set("KEY_RED", " 53 "));
    CHECK_EQ(map.find("KEY_RED")->keyCode.value_or(-1), '5');
    CHECK(map.set("KEY_VOLUMEUP", "14"));
    CHECK(!map.find("KEY_VOLUMEUP")->media);
    for (const char* bad : {"", "256", "-1", "5a", "1000", "0x35"})
        CHECK(!map.set("KEY_GREEN", bad));
    CHECK(!map.find("KEY_GREEN"));
}

TEST_CASE("media buttons act on the mode's player and end the door's first step") {
    struct Row {
        std::vector<int> before;
        MediaKey key;
        std::string journal;
    };
    const std::vector<int> video{nuvok::kKeyMenu, nuvok::kKeyRight};
    const std::vector<int> audio{nuvok::kKeyMenu, nuvok::kKeyUp};
    const std::vector<int> leds{nuvok::kKeyMenu, nuvok::kKeyLeft};
    const std::vector<Row> rows{
        {leds, MediaKey::VolumeUp, "[vol+][log:Vol+][mode:1]"},
        {{'9'}, MediaKey::VolumeDown, "[vol-][log:Vol-][log:idle][mode:0]"},
        {{nuvok::kKeyMenu}, MediaKey::VolumeUp, "[vol+][log:Vol+][mode:0]"},
        {video, MediaKey::PlayPause, "[activate:VLC][keys: ][log:[Space] Pause][mode:Video mode]"},
        {audio, MediaKey::PlayPause, "[activate:Winamp][keys:c][log:[C] Pause][mode:Audio mode]"},
        {leds, MediaKey::PlayPause, "[activate:Winamp][keys:c][log:[C] Pause][mode:1]"},
        {video, MediaKey::NextSong, "[keys:{right}][log:{right}][mode:Video mode]"},
        {{}, MediaKey::NextSong, "[activate:Winamp][keys:b][log:[B]Next Song][mode:0]"},
        {video, MediaKey::PreviousSong, "[keys:{left}][log:{left}][mode:Video mode]"},
        {audio, MediaKey::PreviousSong,
         "[activate:Winamp][keys:z][log:[Z] Last Song][mode:Audio mode]"},
    };
    const nuvok::PlayerTitles titles{"Winamp", "VLC"};
    for (const Row& row : rows) {
        nuvok::RemoteState state;
        FakeRemoteActions actions;
        for (int code : row.before)
            nuvok::doRC(state, code, actions, titles);
        actions.take();
        nuvok::doMediaKey(state, row.key, actions, titles);
        CHECK_EQ(joined(actions.take()), row.journal);
        CHECK(!state.bMenu);
    }
}

TEST_CASE("a held button repeats only a volume step, after a delay and at a bounded pace") {
    using Clock = LircRepeats::Clock;
    const Clock::time_point t0{};
    LircRepeats repeats;
    repeats.pressed("KEY_VOLUMEUP", "r", MediaKey::VolumeUp, t0);
    int steps = 0;
    // lircd repeats about every 110 ms; for 2 s.
    for (auto at = t0 + 110ms; at < t0 + 2s; at += 110ms)
        if (const auto step = repeats.repeatActs("KEY_VOLUMEUP", "r", at)) {
            CHECK(*step == MediaKey::VolumeUp);
            ++steps;
        }
    // From 0.4 s on, at most one step per 125 ms.
    CHECK(steps >= 6 && steps <= 13);
    CHECK(!repeats.repeatActs("KEY_VOLUMEUP", "other remote", t0 + 3s));
    CHECK(!repeats.repeatActs("KEY_VOLUMEDOWN", "r", t0 + 3s));
    // A press that did not step the volume never repeats, the door and Menu + Up among them.
    repeats.pressed("KEY_9", "r", std::nullopt, t0 + 4s);
    CHECK(!repeats.repeatActs("KEY_9", "r", t0 + 5s));
    repeats.pressed("KEY_UP", "r", std::nullopt, t0 + 6s);
    CHECK(!repeats.repeatActs("KEY_UP", "r", t0 + 7s));
}
