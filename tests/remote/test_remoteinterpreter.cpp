#include "remote/keymessage.h"
#include "remote/remoteinterpreter.h"
#include "support/check.h"
#include "support/fakeremoteactions.h"

#include <string>
#include <vector>

using nuvok::kKeyDown;
using nuvok::kKeyIdle;
using nuvok::kKeyLeft;
using nuvok::kKeyMenu;
using nuvok::kKeyRight;
using nuvok::kKeySelect;
using nuvok::kKeyUp;
using nuvok::RemoteState;
using Journal = std::vector<std::string>;

namespace {

constexpr int key(char digit) {
    return digit;
}

const nuvok::PlayerTitles kTitles{"Winamp", "VLC"};

std::string joined(const Journal& journal) {
    std::string text;
    for (const std::string& entry : journal)
        text += "[" + entry + "]";
    return text;
}

struct Step {
    int code;
    Journal expected;
};

// Runs key codes one by one and compares each one's journal.
struct Remote {
    RemoteState state;
    FakeRemoteActions actions;
    nuvok::PlayerTitles titles = kTitles;

    void press(int code) { nuvok::doRC(state, code, actions, titles); }
    // The pause is over: every door pulse asked for ends.
    void endDoorPulses() {
        for (; actions.doorPulsesDue > 0; --actions.doorPulsesDue)
            nuvok::endDoorPulse(state, actions);
    }
    void pressAll(const std::vector<int>& codes) {
        for (int code : codes)
            press(code);
        actions.take();
    }
    void expect(const std::vector<Step>& steps) {
        for (const Step& step : steps) {
            press(step.code);
            CHECK_EQ(joined(actions.take()), joined(step.expected));
        }
    }
};

// Key codes that bring the interpreter from its start into each mode.
const std::vector<int> kToMode1{kKeyMenu, kKeyLeft};
const std::vector<int> kToMode3{key('9')};
const std::vector<int> kToMode4{kKeyMenu, kKeyRight};
const std::vector<int> kToMode5{kKeyMenu, kKeyUp};

} // namespace

TEST_CASE("LED session and door pulse from start-up") {
    Remote remote;
    remote.expect({
        {kKeyMenu, {"log:bMenu 1", "mode:0"}},
        {kKeyLeft, {"log:Mode:SetLeds", "mode:1"}},
        {key('3'), {"cmd:setport 3.1 ", "mode:1"}},
        {kKeyDown, {"log:strOnOff =0 ", "mode:1"}},
        {key('3'), {"cmd:setport 3.0 ", "mode:1"}},
        {key('9'), {"log:DoorPreOpen", "mode:3"}},
        {key('9'), {"cmd:setport 1.1", "log:Open Door", "door:later", "mode:0"}},
    });
    CHECK_EQ(remote.actions.doorPulsesDue, 1);
    remote.endDoorPulses();
    CHECK_EQ(joined(remote.actions.take()), joined({"cmd:setport 1.0", "mode:0"}));
    CHECK_EQ(remote.state.mode, 0);
    CHECK(!remote.state.bMenu);
}

TEST_CASE("LED commands in mode 1 carry the on/off suffix") {
    struct Row {
        std::vector<int> before;
        int code;
        std::string command;
    };
    const std::vector<Row> rows{
        {kToMode1, key('1'), "cmd:setport 1.1 "},
        {{kKeyMenu, kKeyLeft, kKeyDown}, key('2'), "cmd:setport 2.0 "},
        {{kKeyMenu, kKeyLeft, kKeyDown, kKeyUp}, key('3'), "cmd:setport 3.1 "},
        {kToMode1, key('4'), "cmd:setport 4.1 "},
        {kToMode1, key('5'), "cmd:setport 5.1 "},
        {kToMode1, key('6'), "cmd:setport 6.1 "},
        {kToMode1, key('7'), "cmd:setport 7.1 "},
    };
    for (const Row& row : rows) {
        Remote remote;
        remote.pressAll(row.before);
        remote.expect({{row.code, {row.command, "mode:1"}}});
    }
    Remote remote;
    remote.pressAll(kToMode1);
    remote.expect({{key('8'), {"mode:1"}}});
}

TEST_CASE("Up and Down in mode 1 switch the LED suffix") {
    Remote remote;
    remote.pressAll(kToMode1);
    remote.expect({
        {kKeyDown, {"log:strOnOff =0 ", "mode:1"}},
        {kKeyUp, {"log:strOnOff =1 ", "log:bMenu", "mode:1"}},
        // Menu then Up in mode 1 stays in mode 1: the mode test comes first.
        {kKeyMenu, {"log:bMenu 1", "mode:1"}},
        {kKeyUp, {"log:strOnOff =1 ", "log:bMenu", "mode:1"}},
    });
    CHECK_EQ(remote.state.strOnOff, std::string("1 "));
}

TEST_CASE("Mode 0 ignores digits and arrows and steps the volume") {
    Remote remote;
    for (int code : {key('1'), key('2'), key('3'), key('4'), key('5'), key('6'), key('7'), key('8'),
                     kKeyLeft, kKeyRight, kKeyIdle})
        remote.expect({{code, {"mode:0"}}});
    remote.expect({
        {kKeyUp, {"vol+", "log:Vol+", "log:bMenu", "mode:0"}},
        {kKeyDown, {"vol-", "log:Vol-", "mode:0"}},
    });
}

TEST_CASE("Menu then Down lowers the volume outside mode 1 and clears the flag") {
    for (const auto& before : {std::vector<int>{}, kToMode4, kToMode5}) {
        Remote remote;
        remote.pressAll(before);
        const std::string shown = "mode:" + nuvok::modeText(remote.state.mode);
        remote.expect({
            {kKeyMenu, {"log:bMenu 1", shown}},
            {kKeyDown, {"vol-", "log:Vol-", shown}},
        });
        CHECK(!remote.state.bMenu);
    }
}

TEST_CASE("Menu menu combinations") {
    Remote remote;
    remote.expect({
        {kKeyMenu, {"log:bMenu 1", "mode:0"}},
        {kKeyMenu, {"log:bMenu 1", "mode:0"}},
        {kKeyLeft, {"log:Mode:SetLeds", "mode:1"}},
        {kKeyMenu, {"log:bMenu 1", "mode:1"}},
        {kKeyRight, {"log:mode_Video", "activate:VLC", "mode:Video mode"}},
        {kKeyMenu, {"log:bMenu 1", "mode:Video mode"}},
        {kKeyUp, {"log:mode_Audio", "activate:Winamp", "log:bMenu", "mode:Audio mode"}},
        {kKeyMenu, {"log:bMenu 1", "mode:Audio mode"}},
        {kKeyIdle, {"log:Mode:mode_idle", "mode:0"}},
    });
}

TEST_CASE("Door opener pre-open state") {
    struct Row {
        std::vector<int> before;
        std::vector<Step> steps;
    };
    const std::vector<Row> rows{
        // Any other key ends the pre-open state after its own effects.
        {{}, {{key('9'), {"log:DoorPreOpen", "mode:3"}}, {key('5'), {"log:idle", "mode:0"}}}},
        {kToMode3, {{kKeyUp, {"vol+", "log:Vol+", "log:bMenu", "log:idle", "mode:0"}}}},
        {kToMode3, {{kKeyMenu, {"log:idle", "log:bMenu 1", "mode:0"}}}},
        // "9" leaves a player mode; the next key does not return to it.
        {kToMode4, {{key('9'), {"log:DoorPreOpen", "mode:3"}}, {kKeyLeft, {"log:idle", "mode:0"}}}},
        {kToMode5, {{key('9'), {"log:DoorPreOpen", "mode:3"}}, {key('5'), {"log:idle", "mode:0"}}}},
        {kToMode1, {{key('9'), {"log:DoorPreOpen", "mode:3"}}, {key('1'), {"log:idle", "mode:0"}}}},
        // Unknown key codes only end the pre-open state and refresh the display.
        {kToMode3, {{0, {"log:idle", "mode:0"}}}},
        {kToMode3, {{5, {"log:idle", "mode:0"}}}},
        {kToMode3, {{255, {"log:idle", "mode:0"}}}},
        {kToMode3, {{key('0'), {"keys: ", "log:[Space]", "log:idle", "mode:0"}}}},
    };
    for (const Row& row : rows) {
        Remote remote;
        remote.pressAll(row.before);
        remote.expect(row.steps);
    }
}

TEST_CASE("Unknown key codes clear the menu flag and change nothing else") {
    for (int code : {0, 5, 56, 255, 1000, -1}) {
        Remote remote;
        remote.pressAll(kToMode4);
        remote.expect(
            {{kKeyMenu, {"log:bMenu 1", "mode:Video mode"}}, {code, {"mode:Video mode"}}});
        CHECK(!remote.state.bMenu);
        CHECK_EQ(remote.state.mode, 4);
    }
}

TEST_CASE("Player keys in modes 4 and 5") {
    struct Row {
        std::vector<int> before;
        int code;
        Journal expected;
    };
    const std::vector<Row> rows{
        {kToMode4, key('5'), {"activate:VLC", "keys: ", "log:[Space] Pause", "mode:Video mode"}},
        {kToMode4, key('4'), {"mode:Video mode"}},
        {kToMode4, key('6'), {"mode:Video mode"}},
        {kToMode4, kKeyLeft, {"keys:{left}", "log:{left}", "mode:Video mode"}},
        {kToMode4, kKeyRight, {"keys:{right}", "log:{right}", "mode:Video mode"}},
        {kToMode5, key('5'), {"activate:Winamp", "keys:c", "log:[C] Pause", "mode:Audio mode"}},
        {kToMode5, key('4'), {"activate:Winamp", "keys:z", "log:[Z] Last Song", "mode:Audio mode"}},
        {kToMode5, key('6'), {"activate:Winamp", "keys:b", "log:[B]Next Song", "mode:Audio mode"}},
        {kToMode5, kKeyLeft, {"keys:{left}", "log:{left}", "mode:Audio mode"}},
        {kToMode5, kKeyRight, {"keys:{right}", "log:{right}", "mode:Audio mode"}},
        {kToMode5, kKeyUp, {"vol+", "log:Vol+", "log:bMenu", "mode:Audio mode"}},
        {kToMode4, kKeySelect, {"log:Select->Enter", "keys:{enter}", "mode:Video mode"}},
        {{}, kKeySelect, {"log:Select->Enter", "keys:{enter}", "mode:0"}},
    };
    for (const Row& row : rows) {
        Remote remote;
        remote.pressAll(row.before);
        remote.expect({{row.code, row.expected}});
    }
}

TEST_CASE("Zero sends a space to the focused window in every mode") {
    for (const auto& before : {std::vector<int>{}, kToMode1, kToMode4, kToMode5}) {
        Remote remote;
        remote.pressAll(before);
        const std::string shown = "mode:" + nuvok::modeText(remote.state.mode);
        remote.expect({{key('0'), {"keys: ", "log:[Space]", shown}}});
    }
}

TEST_CASE("With an empty audio title only 6 finds the player") {
    Remote remote;
    remote.titles.strAudioTitle.clear();
    remote.actions.openWindows = {"Winamp"};
    remote.press(kKeyMenu);
    CHECK_THROWS(remote.press(kKeyUp));
    remote.actions.take();
    // The failed Menu, Up left mode 5 and the armed flag; clear the flag first.
    remote.state.bMenu = false;
    remote.expect(
        {{key('6'), {"activate:Winamp", "keys:b", "log:[B]Next Song", "mode:Audio mode"}}});
    for (int code : {key('4'), key('5')}) {
        CHECK_THROWS(remote.press(code));
        CHECK_EQ(joined(remote.actions.take()), joined({"activate:"}));
    }
}

TEST_CASE("An audio title the user set is the one 6 finds") {
    Remote remote;
    remote.titles = {"Music", "Films", "Music"};
    remote.actions.openWindows = {"Music", "Winamp"};
    remote.press(kKeyMenu);
    remote.press(kKeyUp);
    remote.actions.take();
    remote.expect(
        {{key('6'), {"activate:Music", "keys:b", "log:[B]Next Song", "mode:Audio mode"}}});
}

TEST_CASE("A failing activation ends the key code and keeps earlier changes") {
    Remote remote;
    remote.actions.openWindows.clear();
    remote.press(kKeyMenu);
    remote.actions.take();
    CHECK_THROWS(remote.press(kKeyRight));
    CHECK_EQ(joined(remote.actions.take()), joined({"log:mode_Video", "activate:VLC"}));
    CHECK_EQ(remote.state.mode, 4);
    CHECK(remote.state.bMenu);
    // Still armed: the next key is read as a menu combination.
    remote.actions.openWindows = {"Winamp"};
    remote.expect(
        {{kKeyUp, {"log:mode_Audio", "activate:Winamp", "log:bMenu", "mode:Audio mode"}}});
}

TEST_CASE("A failing keystroke skips the rest of the row and the later steps") {
    Remote remote;
    remote.pressAll(kToMode4);
    remote.actions.failingKeys = "{left}";
    CHECK_THROWS(remote.press(kKeyLeft));
    CHECK_EQ(joined(remote.actions.take()), joined({"keys:{left}"}));
    remote.actions.failingKeys = " ";
    CHECK_THROWS(remote.press(key('5')));
    CHECK_EQ(joined(remote.actions.take()), joined({"activate:VLC", "keys: "}));
    CHECK_EQ(remote.state.mode, 4);
}

// What the door key code did after its pause, when the pause nested the keys
// that came during it, happens at the pulse's end: "setport 1.0", the menu
// flag cleared, the mode shown as those keys left it.
TEST_CASE("Keys during the door pulse, and the pulse's end") {
    struct Row {
        const char* name;
        std::vector<int> during;
        Journal duringJournal;
        Journal end;
        int mode;
    };
    const std::vector<Row> rows{
        {"nothing", {}, {}, {"cmd:setport 1.0", "mode:0"}, 0},
        {"a key is read in mode 0",
         {kKeyUp},
         {"vol+", "log:Vol+", "log:bMenu", "mode:0"},
         {"cmd:setport 1.0", "mode:0"},
         0},
        {"a third 9", {key('9')}, {"log:DoorPreOpen", "mode:3"}, {"cmd:setport 1.0", "mode:3"}, 3},
        {"Menu is cleared at the end",
         {kKeyMenu},
         {"log:bMenu 1", "mode:0"},
         {"cmd:setport 1.0", "mode:0"},
         0},
        {"LED commands go out in their order",
         {kKeyMenu, kKeyLeft, key('3'), kKeyMenu, kKeyLeft, key('4')},
         {"log:bMenu 1", "mode:0", "log:Mode:SetLeds", "mode:1", "cmd:setport 3.1 ", "mode:1",
          "log:bMenu 1", "mode:1", "log:Mode:SetLeds", "mode:1", "cmd:setport 4.1 ", "mode:1"},
         {"cmd:setport 1.0", "mode:1"},
         1},
    };
    for (const Row& row : rows) {
        Remote remote;
        remote.pressAll(kToMode3);
        remote.press(key('9'));
        CHECK_EQ(joined(remote.actions.take()),
                 joined({"cmd:setport 1.1", "log:Open Door", "door:later", "mode:0"}));
        for (int code : row.during)
            remote.press(code);
        CHECK_EQ(joined(remote.actions.take()), joined(row.duringJournal));
        remote.endDoorPulses();
        CHECK_EQ(joined(remote.actions.take()), joined(row.end));
        CHECK_EQ(remote.state.mode, row.mode);
        CHECK(!remote.state.bMenu);
    }
}

TEST_CASE("One door pulse at a time: a \"9 9\" during it is ignored, and after it opens") {
    Remote remote;
    remote.pressAll({key('9'), key('9')});
    remote.press(key('9'));
    remote.press(key('9'));
    CHECK_EQ(joined(remote.actions.take()),
             joined({"log:DoorPreOpen", "mode:3",
                     "log:The door is open already: this \"9 9\" is ignored", "mode:0"}));
    CHECK_EQ(remote.actions.doorPulsesDue, 1);
    remote.endDoorPulses();
    CHECK_EQ(joined(remote.actions.take()), joined({"cmd:setport 1.0", "mode:0"}));
    remote.pressAll({key('9')});
    remote.press(key('9'));
    CHECK_EQ(joined(remote.actions.take()),
             joined({"cmd:setport 1.1", "log:Open Door", "door:later", "mode:0"}));
}

TEST_CASE("A nested menu combination changes what the rest of the key does") {
    Remote remote;
    remote.pressAll(kToMode1);
    // While "4" sends its LED command, the handset leaves mode 1 for mode 5;
    // the row's separate mode-5 test then sees the new mode.
    remote.actions.duringSendCMD = [&](const std::string&) {
        remote.actions.duringSendCMD = nullptr;
        for (int code : {kKeyMenu, kKeyIdle, kKeyMenu, kKeyUp})
            remote.press(code);
    };
    remote.press(key('4'));
    const Journal journal = remote.actions.take();
    CHECK_EQ(journal.front(), std::string("cmd:setport 4.1 "));
    const Journal tail(journal.end() - 4, journal.end());
    CHECK_EQ(joined(tail),
             joined({"activate:Winamp", "keys:z", "log:[Z] Last Song", "mode:Audio mode"}));
    CHECK_EQ(remote.state.mode, 5);

    // A Menu arriving during the command is consumed by the outer key code.
    Remote menu;
    menu.pressAll(kToMode1);
    menu.actions.duringSendCMD = [&](const std::string&) { menu.press(kKeyMenu); };
    menu.press(key('2'));
    CHECK(!menu.state.bMenu);
}

TEST_CASE("The mode display names the player modes") {
    struct Row {
        int mode;
        const char* text;
    };
    for (const Row& row :
         {Row{0, "0"}, Row{1, "1"}, Row{3, "3"}, Row{4, "Video mode"}, Row{5, "Audio mode"}})
        CHECK_EQ(nuvok::modeText(row.mode), std::string(row.text));
}

TEST_CASE("Controller commands follow the rights of the key's sender") {
    const nuvok::KeyOrigin trusted{"A", "", "", {}};
    const nuvok::KeyOrigin stranger{"B", "B is not trusted", "", {}};
    const nuvok::KeyOrigin overUdp{"C", "", "C came by UDP", {}};
    struct Row {
        std::vector<int> before;
        nuvok::KeyOrigin origin;
        int code;
        Journal expected;
    };
    const std::vector<Row> rows{
        {kToMode1, trusted, key('3'), {"cmd:setport 3.1 ", "mode:1"}},
        {kToMode1,
         stranger,
         key('3'),
         {"log:\"setport 3.1 \" not sent to the controller: B is not trusted", "mode:1"}},
        // Output 1 switched on is the door; switched off, and the other LEDs, are not.
        {kToMode1,
         overUdp,
         key('1'),
         {"log:\"setport 1.1 \" not sent to the controller: C came by UDP", "mode:1"}},
        {{kKeyMenu, kKeyLeft, kKeyDown}, overUdp, key('1'), {"cmd:setport 1.0 ", "mode:1"}},
        {kToMode1, overUdp, key('2'), {"cmd:setport 2.1 ", "mode:1"}},
        // The door's second key from the sender of the first.
        {{}, stranger, key('9'), {"log:DoorPreOpen", "mode:3"}},
        {kToMode3, stranger, key('9'), {"log:The door stays shut: B is not trusted", "mode:0"}},
        {kToMode3, overUdp, key('9'), {"log:The door stays shut: C came by UDP", "mode:0"}},
        // Everything but the command still happens for anyone.
        {kToMode1, stranger, kKeyDown, {"log:strOnOff =0 ", "mode:1"}},
        {{kKeyMenu}, stranger, kKeyRight, {"log:mode_Video", "activate:VLC", "mode:Video mode"}},
    };
    for (const Row& row : rows) {
        Remote remote;
        for (int code : row.before)
            nuvok::doRC(remote.state, code, remote.actions, remote.titles, row.origin);
        remote.actions.take();
        nuvok::doRC(remote.state, row.code, remote.actions, remote.titles, row.origin);
        CHECK_EQ(joined(remote.actions.take()), joined(row.expected));
        CHECK_EQ(remote.actions.doorPulsesDue, 0);
    }
}

TEST_CASE("Both keys of the door come from one sender") {
    using nuvok::InputKind;
    const nuvok::KeyOrigin a{"A", "", "", {InputKind::Handset, "A"}};
    const nuvok::KeyOrigin b{"B", "", "", {InputKind::Handset, "B"}};
    // Senders that share a name are still two, within one kind of input or across kinds.
    const nuvok::KeyOrigin namesake{"A", "", "", {InputKind::Handset, "A2"}};
    const nuvok::KeyOrigin phone{"A", "", "", {InputKind::Phone, "A"}};
    for (const auto& [first, second] :
         {std::pair{a, b}, std::pair{b, a}, std::pair{a, namesake}, std::pair{a, phone}}) {
        Remote remote;
        nuvok::doRC(remote.state, key('9'), remote.actions, remote.titles, first);
        nuvok::doRC(remote.state, key('9'), remote.actions, remote.titles, second);
        CHECK_EQ(joined(remote.actions.take()),
                 joined({"log:DoorPreOpen", "mode:3", "log:idle",
                         "log:The door stays shut: its first \"9\" came from " + first.sender +
                             ", the second from " + second.sender,
                         "mode:0"}));
        CHECK_EQ(remote.actions.doorPulsesDue, 0);
        // A fresh pair from one of them opens it.
        nuvok::doRC(remote.state, key('9'), remote.actions, remote.titles, second);
        nuvok::doRC(remote.state, key('9'), remote.actions, remote.titles, second);
        CHECK_EQ(remote.actions.doorPulsesDue, 1);
    }
}
