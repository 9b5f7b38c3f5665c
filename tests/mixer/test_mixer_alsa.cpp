// The ALSA mixer against a private PulseAudio server (run by
// with-pulseaudio.sh, reached through ALSA's PulseAudio plugin): what the
// program sets must show in the server, and what other programs set must show
// in the program.
#include "support/check.h"
#include "support/fakemixer.h"
#include "support/pactl.h"

#include "mixer/clsvolume.h"
#include "mixer/mixer_alsa.h"
#include "remote/volumesteps.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace nuvok::test;

namespace {

void expectSink(long expected, int line) {
    if (!eventually([&] { return allAre(sinkVolumes(), expected); }))
        nuvok::test::fail(__FILE__, line,
                          "sink volume " + show(sinkVolumes()) + "expected " +
                              std::to_string(expected));
}

} // namespace

TEST_CASE("speakers and microphone controls of the sound server are found") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createAlsaMixer(), notifier);
    CHECK(notifier.messages.empty());
    CHECK_EQ(volume.MinWaveVolume(), 0);
    CHECK_EQ(volume.MaxWaveVolume(), 65536);
    CHECK_EQ(volume.MinMicVolume(), 0);
    CHECK_EQ(volume.MaxMicVolume(), 65536);
}

TEST_CASE("a level set by another program is read, and a step moves it in the server") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createAlsaMixer(), notifier);
    output("pactl set-sink-volume @DEFAULT_SINK@ 30%");
    const std::vector<long> start = sinkVolumes();
    CHECK(!start.empty());
    if (start.empty())
        return;
    CHECK(eventually([&] { return volume.WaveVolume() == start.front(); }));

    nuvok::volumeStepUp(volume);
    const long up = std::lround(start.front() + 65536.0 / 15);
    expectSink(up, __LINE__);
    CHECK_EQ(volume.WaveVolume(), up);
    // amixer, another ALSA client, sees the level on every channel as well.
    const std::string amixer = output("amixer -D default sget Master");
    if (amixer.find("Playback " + std::to_string(up) + " ") == std::string::npos)
        nuvok::test::fail(__FILE__, __LINE__, "amixer shows: " + amixer);

    nuvok::volumeStepDown(volume);
    expectSink(start.front(), __LINE__);
}

TEST_CASE("levels written are clamped and reach every channel") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createAlsaMixer(), notifier);
    volume.WaveVolume(70000);
    expectSink(65536, __LINE__);
    volume.WaveVolume(-5);
    expectSink(0, __LINE__);
    volume.WaveVolume(12345);
    expectSink(12345, __LINE__);
}

TEST_CASE("the microphone level shows in the server's default source") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createAlsaMixer(), notifier);
    for (long level : {12345L, 40000L}) {
        volume.MicroVolume(static_cast<std::int32_t>(level));
        if (!eventually([&] { return allAre(sourceVolumes(), level); }))
            nuvok::test::fail(__FILE__, __LINE__,
                              "source volume " + show(sourceVolumes()) + "expected " +
                                  std::to_string(level));
        CHECK(eventually([&] { return volume.MicroVolume() == level; }));
    }
    // The speakers are a different control.
    output("pactl set-sink-volume @DEFAULT_SINK@ 50%");
    CHECK(eventually([&] { return volume.WaveVolume() == 32768; }));
    CHECK(allAre(sourceVolumes(), 40000));
}
