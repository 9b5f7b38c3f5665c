#include "support/check.h"
#include "support/fakemixer.h"

#include "mixer/clsvolume.h"

#include <cstdint>
#include <string>
#include <vector>

using nuvok::kComponentMicrophone;
using nuvok::kComponentSpeakers;
using nuvok::test::FakeMixerDevice;
using nuvok::test::listText;
using nuvok::test::MixerOp;
using nuvok::test::RecordingNotifier;

namespace {

struct Bounds {
    std::int32_t minWave, maxWave, minMic, maxMic;
};

Bounds boundsOf(const clsVolume& v) {
    return {v.MinWaveVolume(), v.MaxWaveVolume(), v.MinMicVolume(), v.MaxMicVolume()};
}

void checkBounds(const clsVolume& v, Bounds expected, const std::string& row) {
    const Bounds b = boundsOf(v);
    if (b.minWave != expected.minWave || b.maxWave != expected.maxWave ||
        b.minMic != expected.minMic || b.maxMic != expected.maxMic)
        nuvok::test::fail(__FILE__, __LINE__,
                          row + ": bounds " + std::to_string(b.minWave) + ".." +
                              std::to_string(b.maxWave) + " / " + std::to_string(b.minMic) + ".." +
                              std::to_string(b.maxMic));
}

} // namespace

TEST_CASE("both lines found: bounds are taken, no message") {
    FakeMixerDevice device;
    device.addLine(kComponentMicrophone, 0, 100);
    device.addLine(kComponentSpeakers, 0, 65535);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    checkBounds(volume, {0, 65535, 0, 100}, "both lines");
    CHECK(notifier.messages.empty());
    CHECK_EQ(device.calls(MixerOp::Open), 1);
}

TEST_CASE("writes are clamped to the control's bounds") {
    struct Row {
        std::int32_t minimum, maximum, requested, expected;
    };
    const std::vector<Row> rows = {
        {0, 65535, 70000, 65535}, {0, 65535, -5, 0}, {0, 65535, 30000, 30000},
        {0, 65535, 65535, 65535}, {0, 65535, 0, 0},  {-100, 100, -101, -100},
        {-100, 100, -100, -100},  {10, 20, 5, 10},   {10, 20, INT32_MAX, 20},
        {0, 100, INT32_MIN, 0},
    };
    for (const Row& row : rows) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, row.minimum, row.maximum, row.minimum);
        device.addLine(kComponentMicrophone, row.minimum, row.maximum, row.minimum);
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        volume.WaveVolume(row.requested);
        volume.MicroVolume(row.requested);
        CHECK_EQ(listText(device.writes(kComponentSpeakers)), std::to_string(row.expected));
        CHECK_EQ(listText(device.writes(kComponentMicrophone)), std::to_string(row.expected));
        CHECK_EQ(device.level(kComponentSpeakers), row.expected);
        CHECK_EQ(device.level(kComponentMicrophone), row.expected);
    }
}

TEST_CASE("levels are read from the mixer on every access") {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 65535, 1234);
    device.addLine(kComponentMicrophone, 0, 100, 42);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    CHECK_EQ(volume.WaveVolume(), 1234);
    CHECK_EQ(volume.MicroVolume(), 42);
    volume.WaveVolume(30000);
    // Another program changes the level: the object reports the mixer's value.
    device.setLevel(kComponentSpeakers, 29999);
    CHECK_EQ(volume.WaveVolume(), 29999);
    CHECK_EQ(volume.MicroVolume(), 42);
    CHECK_EQ(device.calls(MixerOp::Read), 4);
}

TEST_CASE("no mixer: one message, everything 0, writes clamped to 0 and dropped") {
    for (bool nullBackend : {false, true}) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 500);
        device.addLine(kComponentMicrophone, 0, 100, 50);
        device.fail(MixerOp::Open);
        RecordingNotifier notifier;
        {
            clsVolume volume(nullBackend ? nullptr : device.backend(), notifier);
            CHECK_EQ(notifier.messages.size(), 1u);
            CHECK_EQ(notifier.messages.at(0), std::string("Es wurde kein Mixer gefunden!"));
            checkBounds(volume, {0, 0, 0, 0}, "no mixer");
            CHECK_EQ(volume.WaveVolume(), 0);
            CHECK_EQ(volume.MicroVolume(), 0);
            volume.WaveVolume(1000);
            volume.MicroVolume(-1000);
            CHECK_EQ(device.level(kComponentSpeakers), 500);
            CHECK_EQ(device.level(kComponentMicrophone), 50);
            CHECK_EQ(device.calls(MixerOp::FindLine), 0);
            CHECK_EQ(device.calls(MixerOp::Close), 0);
        }
        CHECK_EQ(notifier.messages.size(), 1u);
        CHECK_EQ(device.calls(MixerOp::Close), nullBackend ? 0 : 1);
    }
}

TEST_CASE("a line that is missing or has no volume control keeps bounds 0") {
    struct Row {
        std::string name;
        bool speakersLine, speakersVolume, micLine, micVolume;
        Bounds expected;
    };
    const std::vector<Row> rows = {
        {"speakers without volume", true, false, true, true, {0, 0, 5, 95}},
        {"no speakers line", false, false, true, true, {0, 0, 5, 95}},
        {"microphone without volume", true, true, true, false, {0, 65535, 0, 0}},
        {"no microphone line", true, true, false, false, {0, 65535, 0, 0}},
        {"neither", false, false, false, false, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        FakeMixerDevice device;
        if (row.speakersLine && row.speakersVolume)
            device.addLine(kComponentSpeakers, 0, 65535, 700);
        else if (row.speakersLine)
            device.addLineWithoutVolume(kComponentSpeakers);
        if (row.micLine && row.micVolume)
            device.addLine(kComponentMicrophone, 5, 95, 60);
        else if (row.micLine)
            device.addLineWithoutVolume(kComponentMicrophone);
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        checkBounds(volume, row.expected, row.name);
        CHECK(notifier.messages.empty());
        // The missing control reads 0 and takes no write; the other one works.
        CHECK_EQ(volume.WaveVolume(), row.speakersVolume ? 700 : 0);
        CHECK_EQ(volume.MicroVolume(), row.micVolume ? 60 : 0);
        volume.WaveVolume(1000);
        volume.MicroVolume(50);
        CHECK_EQ(volume.WaveVolume(), row.speakersVolume ? 1000 : 0);
        CHECK_EQ(volume.MicroVolume(), row.micVolume ? 50 : 0);
        const int working = (row.speakersVolume ? 1 : 0) + (row.micVolume ? 1 : 0);
        CHECK_EQ(device.calls(MixerOp::Write), working);
    }
}

TEST_CASE("a failing line or control lookup leaves that line's bounds 0") {
    for (MixerOp op : {MixerOp::FindLine, MixerOp::FindControl}) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535);
        device.addLine(kComponentMicrophone, 0, 100);
        device.fail(op);
        RecordingNotifier notifier;
        clsVolume volume(device.backend(), notifier);
        checkBounds(volume, {0, 0, 0, 0}, "failing lookup");
        CHECK(notifier.messages.empty());
        CHECK_EQ(device.calls(op), 2);
    }
}

TEST_CASE("failing reads give 0 and failing writes report nothing") {
    FakeMixerDevice device;
    device.addLine(kComponentSpeakers, 0, 65535, 8000);
    device.addLine(kComponentMicrophone, 0, 100, 30);
    device.fail(MixerOp::Read);
    device.fail(MixerOp::Write);
    RecordingNotifier notifier;
    clsVolume volume(device.backend(), notifier);
    CHECK_EQ(volume.WaveVolume(), 0);
    CHECK_EQ(volume.MicroVolume(), 0);
    volume.WaveVolume(100);
    volume.MicroVolume(10);
    CHECK_EQ(device.level(kComponentSpeakers), 8000);
    CHECK_EQ(device.level(kComponentMicrophone), 30);
    CHECK_EQ(device.calls(MixerOp::Write), 2);
    CHECK(notifier.messages.empty());
}

TEST_CASE("the mixer is closed exactly once, when the object goes") {
    for (bool openFails : {false, true}) {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535);
        if (openFails)
            device.fail(MixerOp::Open);
        RecordingNotifier notifier;
        {
            clsVolume volume(device.backend(), notifier);
            volume.WaveVolume(5);
            (void)volume.WaveVolume();
            CHECK_EQ(device.calls(MixerOp::Close), 0);
        }
        CHECK_EQ(device.calls(MixerOp::Close), 1);
        CHECK(!device.isOpen());
    }
}
