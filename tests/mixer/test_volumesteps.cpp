#include "support/check.h"
#include "support/fakemixer.h"
#include "support/upkeys.h"

#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using nuvok::kComponentMicrophone;
using nuvok::kComponentSpeakers;
using nuvok::test::FakeMixerDevice;
using nuvok::test::MixerOp;
using nuvok::test::RecordingNotifier;

namespace {

enum class Dir { Up, Down };

nuvok::VolumeStep step(clsVolume& volume, Dir dir) {
    return dir == Dir::Up ? nuvok::volumeStepUp(volume) : nuvok::volumeStepDown(volume);
}

// The level the speakers control has after one step from `level`.
std::int32_t after(std::int32_t maximum, std::int32_t level, Dir dir, std::int32_t minimum = 0) {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, minimum, maximum, level);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    step(volume, dir);
    CHECK_EQ(device.writes(kComponentSpeakers).size(), 1u);
    return device.level(kComponentSpeakers);
}

} // namespace

TEST_CASE("one step from a given level") {
    struct Row {
        std::int32_t maximum, level;
        Dir dir;
        std::int32_t expected;
    };
    const std::vector<Row> rows = {
        {65535, 0, Dir::Up, 4369},
        {65535, 61166, Dir::Up, 65535},
        {65535, 65535, Dir::Up, 65535}, // at the top it writes the top again
        {65535, 0, Dir::Down, 0},       // at the bottom it writes 0 again
        {65535, 4369, Dir::Down, 0},
        {100, 90, Dir::Up, 97},   // 96.67
        {100, 97, Dir::Up, 100},  // 103.67 clamped
        {100, 5, Dir::Down, 0},   // -1.67 clamped
        {100, 50, Dir::Down, 43}, // 43.33
        {100, 100, Dir::Up, 100},
        // Off the grid: exactly one step from where the level is.
        {65535, 10000, Dir::Up, 14369},
        {65535, 10000, Dir::Down, 5631},
        {100, 3, Dir::Up, 10},
        // The sound server's range 0..65536: a step of 4369.07.
        {65536, 19661, Dir::Up, 24030},
        {65536, 19661, Dir::Down, 15292},
        // Halves after single-precision rounding go to the even neighbour:
        // 4194304 + 559240.47 is held as 4753544.5, 4194305 + ... as 4753545.5.
        {8388607, 4194304, Dir::Up, 4753544},
        {8388607, 4194305, Dir::Up, 4753546},
    };
    for (const Row& row : rows) {
        const std::int32_t got = after(row.maximum, row.level, row.dir);
        if (got != row.expected)
            nuvok::test::fail(__FILE__, __LINE__,
                              std::to_string(row.level) + (row.dir == Dir::Up ? " up" : " down") +
                                  " in 0.." + std::to_string(row.maximum) + " gave " +
                                  std::to_string(got) + ", expected " +
                                  std::to_string(row.expected));
    }
}

TEST_CASE("fifteen steps span the range of 0..65535 exactly") {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 65535, 0);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    for (int k = 1; k <= 15; ++k) {
        nuvok::volumeStepUp(volume);
        CHECK_EQ(device.level(kComponentSpeakers), 4369 * k);
    }
    CHECK_EQ(device.level(kComponentSpeakers), 65535);
    for (int k = 14; k >= 0; --k) {
        nuvok::volumeStepDown(volume);
        CHECK_EQ(device.level(kComponentSpeakers), 4369 * k);
    }
}

TEST_CASE("from 0 in 0..100 the levels go by 7 up to 98, then 100") {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 100, 0);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    std::vector<std::int32_t> expected;
    for (int k = 1; k <= 14; ++k)
        expected.push_back(7 * k);
    expected.push_back(100);
    expected.push_back(100);
    for (std::size_t i = 0; i < expected.size(); ++i)
        nuvok::volumeStepUp(volume);
    CHECK_EQ(nuvok::test::listText(device.writes(kComponentSpeakers)),
             nuvok::test::listText(expected));
}

TEST_CASE("the floor is 0, not the control's minimum") {
    // A control from -100 to 100: a step down from -90 goes below 0 and is
    // raised to 0; a step up from -90 moves by one step.
    CHECK_EQ(after(100, -90, Dir::Down, -100), 0);
    CHECK_EQ(after(100, -90, Dir::Up, -100), -83);
}

TEST_CASE("the microphone is left alone") {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 65535, 100);
    device.addLine(kComponentMicrophone, 0, 65535, 200);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    nuvok::volumeStepUp(volume);
    nuvok::volumeStepDown(volume);
    CHECK(device.writes(kComponentMicrophone).empty());
    CHECK_EQ(device.level(kComponentMicrophone), 200);
}

// A key names what it lacks, the speakers' output, never the microphone that
// is looked up after it; the microphone's own lack is said once, by the
// opening, where the mixer tells why. Each row: which lines the device has,
// the reasons it gives for the missing ones (empty: none, as a card simply
// without such a control), what two Up keys say and what the opening says.
TEST_CASE("a failed key names the output; the opening names the microphone") {
    struct Row {
        std::string name;
        bool speakers, microphone;
        std::string speakersMissing, microphoneMissing;
        std::string keyFailure; // for both keys; empty: both made
        std::string note;
    };
    const std::string noOutput = "the sound server has no default output";
    const std::string noInput = "the sound server has no default input";
    const std::vector<Row> rows = {
        {"neither default device", false, false, noOutput, noInput, noOutput,
         "No microphone volume: " + noInput},
        {"no default output, a microphone", false, true, noOutput, "", noOutput, ""},
        {"no speakers control, the microphone missing with a reason", false, false, "", noInput,
         "the mixer has no speakers volume control", "No microphone volume: " + noInput},
        {"speakers, the microphone missing with a reason", true, false, "", noInput, "",
         "No microphone volume: " + noInput},
        {"speakers, no microphone control", true, false, "", "", "", ""},
        {"both", true, true, "", "", "", ""},
    };
    for (const Row& row : rows) {
        FakeMixerDevice device;
        if (row.speakers)
            device.addLine(kComponentSpeakers, 0, 65535, 4369);
        if (row.microphone)
            device.addLine(kComponentMicrophone, 0, 65535, 200);
        device.missingLineText[kComponentSpeakers] = row.speakersMissing;
        device.missingLineText[kComponentMicrophone] = row.microphoneMissing;
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        CHECK(notifier.messages.empty());
        // A key after a failed one opens the mixer again and looks up both
        // lines anew.
        nuvok::test::pressUpTwice(volume, row.name, row.keyFailure, __FILE__, __LINE__);
        CHECK_EQ(volume.microphoneNote(), row.note);
        CHECK_EQ(device.calls(MixerOp::Open), row.keyFailure.empty() ? 1 : 3);
    }
}

TEST_CASE("without a mixer both steps end at level 0 without an error") {
    for (Dir dir : {Dir::Up, Dir::Down}) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 3000);
        device.fail(MixerOp::Open);
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        step(volume, dir);
        CHECK_EQ(volume.WaveVolume(), 0);
        CHECK_EQ(device.level(kComponentSpeakers), 3000);
        CHECK_EQ(device.calls(MixerOp::Write), 0);
    }
}

TEST_CASE("controls with 32-bit bounds step up to their top") {
    // Single precision holds INT32_MAX as 2^31; the top is still reached.
    CHECK_EQ(after(INT32_MAX, INT32_MAX - 10, Dir::Up), INT32_MAX);
    CHECK_EQ(after(INT32_MAX, INT32_MAX, Dir::Up), INT32_MAX);
    CHECK_EQ(after(INT32_MAX, 0, Dir::Down), 0);
}

// What the keys do when the mixer is missing, goes away or fails. Each row
// prepares the fake device, then presses the keys; a step that is not made
// writes nothing and says why.
TEST_CASE("steps through a mixer that goes away, comes back or fails") {
    struct Row {
        std::string name;
        std::function<void(FakeMixerDevice&)> before; // after construction
        std::vector<Dir> keys;
        std::vector<bool> made;
        std::int32_t level; // afterwards
        int opens;          // in all, construction included
    };
    const auto lose = [](FakeMixerDevice& d) { d.lose(); };
    const auto failRead = [](FakeMixerDevice& d) { d.fail(MixerOp::Read); };
    const std::vector<Row> rows = {
        {"device lost between keys: opened again at once", lose, {Dir::Up}, {true}, 8738, 2},
        {"read fails: no step, none written",
         failRead,
         {Dir::Up, Dir::Down},
         {false, false},
         4369,
         2},
        {"read fails once: the next key opens again",
         [](FakeMixerDevice& d) {
             d.fail(MixerOp::Read);
             // The second read, on the next key, works again.
             d.onCall = [&d, reads = 0](MixerOp op) mutable {
                 if (op == MixerOp::Read && ++reads == 2)
                     d.heal(MixerOp::Read);
             };
         },
         {Dir::Up, Dir::Up},
         {false, true},
         8738,
         2},
        {"write refused: not made",
         [](FakeMixerDevice& d) { d.fail(MixerOp::Write); },
         {Dir::Down},
         {false},
         4369,
         1},
        {"lost and not back: not made, the next key tries again",
         [](FakeMixerDevice& d) {
             d.lose();
             d.fail(MixerOp::Open);
         },
         {Dir::Up, Dir::Up},
         {false, false},
         4369,
         3},
    };
    for (const Row& row : rows) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 4369);
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        row.before(device);
        const int writesBefore = device.calls(MixerOp::Write);
        int writesAsked = 0;
        for (std::size_t i = 0; i < row.keys.size(); ++i) {
            const nuvok::VolumeStep result = step(volume, row.keys[i]);
            if (result.made != row.made[i] || result.made != result.failure.empty())
                nuvok::test::fail(__FILE__, __LINE__,
                                  row.name + ": key " + std::to_string(i) + " made " +
                                      std::to_string(result.made) + " (" + result.failure + ")");
            if (!result.made && result.failure != device.failureText)
                nuvok::test::fail(__FILE__, __LINE__, row.name + ": reason " + result.failure);
            writesAsked += result.made ? 1 : 0;
        }
        device.onCall = nullptr;
        device.heal(MixerOp::Read);
        if (device.level(kComponentSpeakers) != row.level ||
            device.calls(MixerOp::Open) != row.opens)
            nuvok::test::fail(__FILE__, __LINE__,
                              row.name + ": level " +
                                  std::to_string(device.level(kComponentSpeakers)) + ", opens " +
                                  std::to_string(device.calls(MixerOp::Open)));
        // Only a step that was made wrote (a refused write counts as asked).
        if (row.name.rfind("write refused", 0) != 0)
            CHECK_EQ(device.calls(MixerOp::Write) - writesBefore, writesAsked);
        CHECK(notifier.messages.empty());
    }
}

TEST_CASE("above the top of the range Up leaves the level and Down goes one step") {
    // A sound server lets other programs raise a device above 100 %.
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 65536, 0);
    device.refusesOutOfBounds = false;
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    device.setLevel(kComponentSpeakers, 98304); // 150 %
    const nuvok::VolumeStep up = nuvok::volumeStepUp(volume);
    CHECK(!up.made);
    CHECK(up.failure.find("150 %") != std::string::npos);
    CHECK_EQ(device.level(kComponentSpeakers), 98304);
    CHECK_EQ(device.calls(MixerOp::Write), 0);
    // One step down from where it is, not down to the top.
    CHECK(nuvok::volumeStepDown(volume).made);
    CHECK_EQ(device.level(kComponentSpeakers), 93935);
    // A level written from outside the keys is still held to the top.
    volume.WaveVolume(90000);
    CHECK_EQ(device.level(kComponentSpeakers), 65536);
}
