// The ALSA mixer against a private PulseAudio server (run by
// with-pulseaudio.sh): what the program sets must show in the server, and what
// other programs set must show in the program.
#include "support/check.h"
#include "support/fakemixer.h"

#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using nuvok::test::RecordingNotifier;

namespace {

std::string output(const std::string& command) {
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe)
        return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    return text;
}

// The raw volume of every channel in pactl's answer
// ("Volume: front-left: 19661 /  30% / ..., front-right: 19661 / ...").
std::vector<long> pactlVolumes(const std::string& what) {
    const std::string text = output("pactl " + what);
    std::vector<long> values;
    static const std::regex channel(R"(:\s*(\d+)\s*/\s*\d+%)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), channel);
         it != std::sregex_iterator(); ++it)
        values.push_back(std::stol((*it)[1]));
    return values;
}

std::vector<long> sinkVolumes() {
    return pactlVolumes("get-sink-volume @DEFAULT_SINK@");
}
std::vector<long> sourceVolumes() {
    return pactlVolumes("get-source-volume @DEFAULT_SOURCE@");
}

// The server applies changes asynchronously; wait for them, briefly.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

bool allAre(const std::vector<long>& values, long expected) {
    if (values.empty())
        return false;
    for (long v : values)
        if (v != expected)
            return false;
    return true;
}

std::string show(const std::vector<long>& values) {
    std::string text;
    for (long v : values)
        text += std::to_string(v) + " ";
    return text.empty() ? "(none)" : text;
}

void expectSink(long expected, int line) {
    if (!eventually([&] { return allAre(sinkVolumes(), expected); }))
        nuvok::test::fail(__FILE__, line,
                          "sink volume " + show(sinkVolumes()) + "expected " +
                              std::to_string(expected));
}

} // namespace

TEST_CASE("speakers and microphone controls of the sound server are found") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createSystemMixer(), notifier);
    CHECK(notifier.messages.empty());
    CHECK_EQ(volume.MinWaveVolume(), 0);
    CHECK_EQ(volume.MaxWaveVolume(), 65536);
    CHECK_EQ(volume.MinMicVolume(), 0);
    CHECK_EQ(volume.MaxMicVolume(), 65536);
}

TEST_CASE("a level set by another program is read, and a step moves it in the server") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createSystemMixer(), notifier);
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
    clsVolume volume(nuvok::createSystemMixer(), notifier);
    volume.WaveVolume(70000);
    expectSink(65536, __LINE__);
    volume.WaveVolume(-5);
    expectSink(0, __LINE__);
    volume.WaveVolume(12345);
    expectSink(12345, __LINE__);
}

TEST_CASE("the microphone level shows in the server's default source") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createSystemMixer(), notifier);
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
