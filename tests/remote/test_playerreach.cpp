#include "remote/keymessage.h"
#include "remote/playerreach.h"
#include "remote/remoteinterpreter.h"
#include "support/check.h"
#include "support/failureof.h"
#include "support/fakemediaplayers.h"
#include "support/fakeremoteactions.h"

#include <string>
#include <vector>

using nuvok::kKeyLeft;
using nuvok::kKeyMenu;
using nuvok::kKeyRight;
using nuvok::kKeySelect;
using nuvok::kKeyUp;
using nuvok::PlayerControl;
using Journal = std::vector<std::string>;

namespace {

const std::string kVlcBus = "org.mpris.MediaPlayer2.vlc";
const nuvok::MediaPlayer kVlc{kVlcBus, "VLC media player", false};
const std::string kThroughVlc = "log:Through MPRIS: VLC media player (" + kVlcBus + ")";
const std::string kAmpBus = "org.mpris.MediaPlayer2.winamp.instance42";
const nuvok::MediaPlayer kAmp{kAmpBus, "", true};
const std::string kThroughAmp = "log:Through MPRIS: " + kAmpBus + " (" + kAmpBus + ")";

std::string joined(const Journal& journal) {
    std::string text;
    for (const std::string& entry : journal)
        text += "[" + entry + "]";
    return text;
}

// The interpreter with the reaching layer between it and the recorded desktop,
// as the window runs it; a failing key code adds "fail:DESCRIPTION".
struct Rig {
    nuvok::RemoteState state;
    FakeRemoteActions desktop;
    nuvok::test::FakeMediaPlayers bus;
    nuvok::PlayerWays ways;
    nuvok::PlayerTitles titles{"Winamp", "VLC"};
    PlayerControl rule = PlayerControl::Auto;
    bool withBus = true;

    Rig(std::set<std::string> windows, std::vector<nuvok::MediaPlayer> players) {
        desktop.openWindows = std::move(windows);
        bus.players = std::move(players);
        bus.journal = &desktop.journal;
    }

    Journal press(int code) {
        nuvok::PlayerReach reach(desktop, withBus ? &bus : nullptr, rule, state, titles, ways);
        const std::string failure =
            nuvok::test::failureOf([&] { nuvok::doRC(state, code, reach, titles); });
        if (failure != nuvok::test::kNoFailure)
            desktop.journal.push_back("fail:" + failure);
        return desktop.take();
    }
    void pressAll(const std::vector<int>& codes) {
        for (int code : codes)
            press(code);
    }
};

struct Step {
    int code;
    Journal expected;
};

void expectSteps(Rig& rig, const std::vector<Step>& steps) {
    for (const Step& step : steps)
        CHECK_EQ(joined(rig.press(step.code)), joined(step.expected));
}

} // namespace

TEST_CASE("auto: a player window that is found gets its keys as before") {
    Rig rig({"VLC", "Winamp"}, {kVlc, kAmp});
    rig.pressAll({kKeyMenu});
    expectSteps(rig, {
                         {kKeyRight, {"log:mode_Video", "activate:VLC", "mode:Video mode"}},
                         {'5', {"activate:VLC", "keys: ", "log:[Space] Pause", "mode:Video mode"}},
                         {kKeyLeft, {"keys:{left}", "log:{left}", "mode:Video mode"}},
                     });
}

TEST_CASE("auto: without the window, the video keys become MPRIS calls") {
    Rig rig({}, {kVlc});
    rig.pressAll({kKeyMenu});
    const std::string call = "mpris:" + kVlcBus + " ";
    expectSteps(
        rig,
        {
            {kKeyRight, {"log:mode_Video", "activate:VLC", kThroughVlc, "mode:Video mode"}},
            {'5',
             {"activate:VLC", kThroughVlc, call + "PlayPause", "log:[Space] Pause",
              "mode:Video mode"}},
            {kKeyLeft, {kThroughVlc, call + "Seek -10000000", "log:{left}", "mode:Video mode"}},
            {kKeyRight, {kThroughVlc, call + "Seek 10000000", "log:{right}", "mode:Video mode"}},
            // Select and 0 type into the focused window in every case.
            {kKeySelect, {"log:Select->Enter", "keys:{enter}", "mode:Video mode"}},
            {'0', {"keys: ", "log:[Space]", "mode:Video mode"}},
        });
}

TEST_CASE("auto: without the window, the audio keys become MPRIS calls") {
    // Several match: the one playing wins over the first.
    Rig rig({}, {{"org.mpris.MediaPlayer2.winamp", "Winamp", false}, kAmp});
    rig.pressAll({kKeyMenu});
    const std::string call = "mpris:" + kAmpBus + " ";
    expectSteps(
        rig,
        {
            {kKeyUp,
             {"log:mode_Audio", "activate:Winamp", kThroughAmp, "log:bMenu", "mode:Audio mode"}},
            {'5',
             {"activate:Winamp", kThroughAmp, call + "PlayPause", "log:[C] Pause",
              "mode:Audio mode"}},
            {'4',
             {"activate:Winamp", kThroughAmp, call + "Previous", "log:[Z] Last Song",
              "mode:Audio mode"}},
            {'6',
             {"activate:Winamp", kThroughAmp, call + "Next", "log:[B]Next Song",
              "mode:Audio mode"}},
            {kKeyLeft, {kThroughAmp, call + "Seek -5000000", "log:{left}", "mode:Audio mode"}},
            {kKeyRight, {kThroughAmp, call + "Seek 5000000", "log:{right}", "mode:Audio mode"}},
        });
}

TEST_CASE("The audio player on the bus goes by the configured title, also for key 6") {
    Rig rig({}, {{"org.mpris.MediaPlayer2.mpv", "mpv", false}});
    rig.titles = {"mpv", "VLC"};
    rig.pressAll({kKeyMenu, kKeyUp});
    const Journal journal = rig.press('6');
    CHECK_EQ(
        joined(journal),
        joined({"activate:Winamp", "log:Through MPRIS: mpv (org.mpris.MediaPlayer2.mpv)",
                "mpris:org.mpris.MediaPlayer2.mpv Next", "log:[B]Next Song", "mode:Audio mode"}));
}

TEST_CASE("A player that is neither a window nor on the bus fails naming both") {
    struct Row {
        PlayerControl rule;
        std::string listFailure;
        std::string failure;
    };
    const std::string noWindow = "no window \"VLC\"";
    const std::vector<Row> rows{
        {PlayerControl::Auto, "",
         noWindow + "; and no MPRIS player on the session bus matches \"VLC\""},
        {PlayerControl::Auto, "no bus here",
         noWindow + "; and the MPRIS players cannot be listed: no bus here"},
        {PlayerControl::Mpris, "",
         "Cannot reach the player \"VLC\": no MPRIS player on the session bus matches \"VLC\""},
        {PlayerControl::Keys, "", noWindow},
    };
    for (const Row& row : rows) {
        // The player on the bus has another name.
        Rig rig({"Winamp"}, {kAmp});
        rig.rule = row.rule;
        rig.bus.listFailure = row.listFailure;
        rig.pressAll({kKeyMenu});
        const Journal journal = rig.press(kKeyRight);
        CHECK_EQ(journal.back(), "fail:" + row.failure);
        CHECK(rig.bus.calls.empty());
    }
}

TEST_CASE("keys and mpris force one way; no bus back-end means keys") {
    struct Row {
        PlayerControl rule;
        bool withBus;
        Journal expected; // of key 5 in video mode, window and player both there
    };
    const std::vector<Row> rows{
        {PlayerControl::Keys,
         true,
         {"activate:VLC", "keys: ", "log:[Space] Pause", "mode:Video mode"}},
        {PlayerControl::Mpris,
         true,
         {kThroughVlc, "mpris:" + kVlcBus + " PlayPause", "log:[Space] Pause", "mode:Video mode"}},
        {PlayerControl::Mpris,
         false,
         {"activate:VLC", "keys: ", "log:[Space] Pause", "mode:Video mode"}},
    };
    for (const Row& row : rows) {
        Rig rig({"VLC"}, {kVlc});
        rig.rule = row.rule;
        rig.withBus = row.withBus;
        rig.pressAll({kKeyMenu, kKeyRight});
        CHECK_EQ(joined(rig.press('5')), joined(row.expected));
    }
}

TEST_CASE("Cursor keys follow the way the player was last reached") {
    Rig rig({"VLC"}, {kVlc});
    rig.pressAll({kKeyMenu, kKeyRight}); // the window was found
    CHECK_EQ(joined(rig.press(kKeyLeft)), joined({"keys:{left}", "log:{left}", "mode:Video mode"}));
    rig.desktop.openWindows.clear();
    rig.press('5'); // now through the bus
    CHECK_EQ(joined(rig.press(kKeyLeft)),
             joined({kThroughVlc, "mpris:" + kVlcBus + " Seek -10000000", "log:{left}",
                     "mode:Video mode"}));
    // Gone from the bus too: typed into the focused window as before.
    rig.bus.players.clear();
    CHECK_EQ(joined(rig.press(kKeyLeft)), joined({"keys:{left}", "log:{left}", "mode:Video mode"}));
}

TEST_CASE("A refused MPRIS call ends the key code with its description") {
    Rig rig({}, {kVlc});
    rig.bus.callFailure = "The MPRIS player did not take PlayPause";
    rig.pressAll({kKeyMenu, kKeyRight});
    const Journal journal = rig.press('5');
    CHECK_EQ(journal.back(), std::string("fail:The MPRIS player did not take PlayPause"));
}

TEST_CASE("The PlayerControl setting") {
    const std::vector<std::pair<std::string, PlayerControl>> rows{
        {"", PlayerControl::Auto},           {"auto", PlayerControl::Auto},
        {"keys", PlayerControl::Keys},       {" Keys ", PlayerControl::Keys},
        {"MPRIS", PlayerControl::Mpris},     {"dbus", PlayerControl::Auto},
        {"keys,mpris", PlayerControl::Auto},
    };
    for (const auto& [text, rule] : rows)
        CHECK(nuvok::playerControlFromSetting(text) == rule);
}
