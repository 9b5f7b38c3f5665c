// The sound server's mixer through libpulse, against a private PulseAudio
// server (run by with-pulseaudio.sh): the default sink and source on the
// server's scale, every channel scaled, the default followed at once, and a
// server that does not answer costs one bounded wait.
#include "support/check.h"
#include "support/fakemixer.h"
#include "support/pactl.h"
#include "support/tempfolder.h"
#include "support/upkeys.h"

#include "mixer/clsvolume.h"
#include "mixer/mixer_pulse.h"
#include "remote/volumesteps.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace nuvok::test;

namespace {

void expectVolumes(const std::string& sink, const std::vector<long>& expected, int line) {
    if (!eventually([&] { return sinkVolumes(sink) == expected; }))
        nuvok::test::fail(__FILE__, line,
                          sink + " volume " + show(sinkVolumes(sink)) + "expected " +
                              show(expected));
}

} // namespace

TEST_CASE("the default sink and source, from silence to 100 %") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createPulseMixer(), notifier);
    CHECK(notifier.messages.empty());
    CHECK_EQ(volume.MinWaveVolume(), 0);
    CHECK_EQ(volume.MaxWaveVolume(), 65536);
    CHECK_EQ(volume.MinMicVolume(), 0);
    CHECK_EQ(volume.MaxMicVolume(), 65536);
    volume.MicroVolume(12345);
    CHECK(eventually([] { return allAre(sourceVolumes(), 12345); }));
    CHECK_EQ(volume.MicroVolume(), 12345);
}

TEST_CASE("a step scales every channel and keeps the balance") {
    struct Row {
        std::string left, right; // as pactl sets them
        bool up;
        std::vector<long> expected; // afterwards
    };
    const std::vector<Row> rows = {
        {"19661", "19661", true, {24030, 24030}},
        // The louder channel moves by one step, the other in proportion.
        {"19661", "39322", true, {21845, 43691}},
        {"39322", "19661", false, {34953, 17476}},
        // From silence both channels come up alike.
        {"0", "0", true, {4369, 4369}},
        // Above 100 % Down moves one step from where the level is.
        {"98304", "98304", false, {93935, 93935}},
    };
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createPulseMixer(), notifier);
    for (const Row& row : rows) {
        output("pactl set-sink-volume spk " + row.left + " " + row.right);
        CHECK(eventually([&] {
            return sinkVolumes("spk") ==
                   std::vector<long>{std::stol(row.left), std::stol(row.right)};
        }));
        const nuvok::VolumeStep step =
            row.up ? nuvok::volumeStepUp(volume) : nuvok::volumeStepDown(volume);
        CHECK(step.made);
        expectVolumes("spk", row.expected, __LINE__);
    }
}

TEST_CASE("the default sink of the moment takes the step") {
    const std::string module = output("pactl load-module module-null-sink sink_name=other");
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createPulseMixer(), notifier);
    output("pactl set-sink-volume spk 19661");
    output("pactl set-sink-volume other 32768");
    for (const std::string sink : {"other", "spk"}) {
        output("pactl set-default-sink " + sink);
        CHECK(eventually([&] { return output("pactl get-default-sink") == sink + "\n"; }));
        CHECK(nuvok::volumeStepUp(volume).made);
    }
    expectVolumes("other", {37137, 37137}, __LINE__);
    expectVolumes("spk", {24030, 24030}, __LINE__);
    output("pactl unload-module " + module);
}

// A server without devices: a key names the missing output, the opening the
// missing input, each once. Each row unloads modules of the server's null
// devices for the row and loads them again afterwards.
TEST_CASE("a missing output is named by the key, a missing input by the opening") {
    struct Row {
        std::string name;
        std::vector<std::string> unload; // modules, by their device's name
        std::string keyFailure;          // empty: the step is made
        std::string note;
    };
    const std::vector<Row> rows = {
        {"no output", {"spk"}, "the sound server has no output device", ""},
        {"no output and no input",
         {"spk", "mic"},
         "the sound server has no output device",
         "No microphone volume: the sound server has no input device"},
        {"no input", {"mic"}, "", ""}, // the output's monitor is the default input then
    };
    for (const Row& row : rows) {
        const auto module = [](const std::string& device) {
            return device == "mic" ? std::string("module-null-source source_name=mic")
                                   : std::string("module-null-sink sink_name=") + device;
        };
        for (const std::string& device : row.unload)
            output("pactl unload-module " + module(device).substr(0, module(device).find(' ')));
        RecordingNotifier notifier;
        {
            clsVolume volume(nuvok::createPulseMixer(), notifier);
            nuvok::test::pressUpTwice(volume, row.name, row.keyFailure, __FILE__, __LINE__);
            CHECK_EQ(volume.microphoneNote(), row.note);
        }
        CHECK(notifier.messages.empty());
        for (const std::string& device : row.unload)
            output("pactl load-module " + module(device));
        output("pactl set-default-sink spk");
        output("pactl set-default-source mic");
        CHECK(eventually([] { return output("pactl get-default-sink") == "spk\n"; }));
        output("pactl set-sink-volume spk 19661");
    }
}

// A socket that takes connections and never answers, as a hung server.
TEST_CASE("a server that does not answer fails within the wait bound") {
    TempFolder folder;
    const std::string path = (folder.path() / "native").string();
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    CHECK(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    CHECK(::listen(listener, 8) == 0);
    const char* before = std::getenv("PULSE_SERVER");
    const std::string saved = before ? before : "";
    ::setenv("PULSE_SERVER", ("unix:" + path).c_str(), 1);

    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<nuvok::MixerBackend> mixer = nuvok::createPulseMixer(200);
    CHECK(!mixer->open());
    const auto took = std::chrono::steady_clock::now() - start;
    CHECK(mixer->failureText().find("did not answer") != std::string::npos);
    // Bounded, not fast: a loaded machine may take longer than the bound,
    // but nothing near a hang.
    CHECK(took < std::chrono::seconds(5));

    RecordingNotifier notifier;
    clsVolume volume(nuvok::createPulseMixer(200), notifier);
    CHECK_EQ(notifier.messages.size(), 1u);
    const nuvok::VolumeStep step = nuvok::volumeStepUp(volume);
    CHECK(!step.made);
    CHECK(step.failure.find("did not answer") != std::string::npos);

    if (before)
        ::setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        ::unsetenv("PULSE_SERVER");
    ::close(listener);
}
