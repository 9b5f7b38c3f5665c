#include "support/check.h"
#include "support/fakemixer.h"

#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

#include <cstdint>
#include <string>
#include <vector>

using nuvok::kComponentMicrophone;
using nuvok::kComponentSpeakers;
using nuvok::test::FakeMixerDevice;
using nuvok::test::MixerOp;
using nuvok::test::RecordingNotifier;

namespace {

enum class Dir { Up, Down };

void step(clsVolume& volume, Dir dir) {
    if (dir == Dir::Up)
        nuvok::volumeStepUp(volume);
    else
        nuvok::volumeStepDown(volume);
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
