#include "support/check.h"

#include "support/fakemixer.h"

#include "mixer/clsvolume.h"
#include "mixer/mixerbackend.h"
#include "mixer/mixerchoice.h"
#include "mixer/mixerfallback.h"
#include "remote/volumesteps.h"

#include <string>
#include <vector>

using nuvok::MixerElementCaps;
using nuvok::VolumeSide;

namespace {

// p: playback volume, c: capture volume, -: neither (a switch only)
MixerElementCaps el(const std::string& name, const std::string& caps) {
    return {name, caps.find('p') != std::string::npos, caps.find('c') != std::string::npos};
}

} // namespace

TEST_CASE("the element that stands for a line") {
    struct Row {
        std::string name;
        std::vector<MixerElementCaps> elements;
        std::uint32_t componentType;
        int expectedIndex; // -1: none
        VolumeSide expectedSide;
    };
    const auto P = VolumeSide::Playback;
    const auto C = VolumeSide::Capture;
    const std::uint32_t spk = nuvok::kComponentSpeakers;
    const std::uint32_t mic = nuvok::kComponentMicrophone;
    const std::vector<Row> rows = {
        {"sound server", {el("Master", "p"), el("Capture", "c")}, spk, 0, P},
        {"Master wins over earlier PCM", {el("PCM", "p"), el("Master", "p")}, spk, 1, P},
        {"no Master: PCM", {el("Headphone", "p"), el("PCM", "p"), el("Speaker", "p")}, spk, 1, P},
        {"no Master or PCM: Speaker", {el("Headphone", "p"), el("Speaker", "p")}, spk, 1, P},
        {"Master without volume", {el("Master", "-"), el("PCM", "p")}, spk, 1, P},
        {"first with a playback volume",
         {el("Capture", "c"), el("Beep", "-"), el("Headphone", "p"), el("Front", "p")},
         spk,
         2,
         P},
        {"nothing to play on", {el("Capture", "c"), el("Beep", "-")}, spk, -1, P},
        {"empty mixer", {}, spk, -1, P},
        {"Capture for the microphone",
         {el("Master", "p"), el("Mic", "pc"), el("Capture", "c")},
         mic,
         2,
         C},
        {"no Capture: Mic's capture volume", {el("Master", "p"), el("Mic", "pc")}, mic, 1, C},
        {"Mic with a playback volume only", {el("Master", "p"), el("Mic", "p")}, mic, 1, P},
        {"Capture without capture volume", {el("Capture", "-"), el("Mic", "c")}, mic, 1, C},
        {"no microphone", {el("Master", "p"), el("PCM", "p")}, mic, -1, P},
        {"other component types have no element", {el("Master", "p")}, 0x1008, -1, P},
    };
    for (const Row& row : rows) {
        const auto choice = nuvok::chooseVolumeElement(row.elements, row.componentType);
        const int index = choice ? static_cast<int>(choice->index) : -1;
        if (index != row.expectedIndex || (choice && choice->side != row.expectedSide))
            nuvok::test::fail(__FILE__, __LINE__,
                              row.name + ": got index " + std::to_string(index));
    }
}

// The sound server first, the card's mixer where there is none; the volume
// keys switch to the server as soon as it answers.
TEST_CASE("the first mixer that opens is used, and a preferred one that comes up is taken") {
    using nuvok::test::FakeMixerDevice;
    using nuvok::test::MixerOp;
    struct Row {
        std::string name;
        bool serverUp, cardUp;
        std::string used; // name of the mixer the step went to, or "" for none
        std::string failure;
    };
    const std::vector<Row> rows = {
        {"both", true, true, "server", ""},
        {"card only", false, true, "card", ""},
        {"server only", true, false, "server", ""},
        {"neither", false, false, "", "server: not running; card: no card"},
        // A server that is there but hangs might be reached through the card's
        // mixer too (ALSA's plugin for it), which would wait without a bound.
        {"server hangs", false, true, "", "server: not running"},
    };
    for (const Row& row : rows) {
        FakeMixerDevice server;
        FakeMixerDevice card;
        server.name = "server";
        server.failureText = "not running";
        card.name = "card";
        card.failureText = "no card";
        server.addLine(nuvok::kComponentSpeakers, 0, 65536, 0);
        card.addLine(nuvok::kComponentSpeakers, 0, 100, 0);
        if (!row.serverUp)
            server.fail(MixerOp::Open);
        server.hangs = row.name == "server hangs";
        if (!row.cardUp)
            card.fail(MixerOp::Open);
        nuvok::FallbackMixer mixer(
            {[&] { return server.backend(); }, [&] { return card.backend(); }});
        const bool opened = mixer.open();
        CHECK_EQ(opened, !row.used.empty());
        if (opened)
            CHECK_EQ(mixer.name(), row.used);
        else
            CHECK_EQ(mixer.failureText(), row.failure);
        CHECK_EQ(mixer.stale(), !opened);
    }
}

TEST_CASE("a sound server that starts late takes over from the card on the next key") {
    using nuvok::test::FakeMixerDevice;
    using nuvok::test::MixerOp;
    FakeMixerDevice server;
    FakeMixerDevice card;
    server.name = "server";
    card.name = "card";
    server.addLine(nuvok::kComponentSpeakers, 0, 65536, 19661);
    card.addLine(nuvok::kComponentSpeakers, 0, 100, 50);
    server.fail(MixerOp::Open);
    nuvok::test::RecordingNotifier notifier;
    clsVolume volume(std::make_unique<nuvok::FallbackMixer>(std::vector<nuvok::MixerFactory>{
                         [&] { return server.backend(); }, [&] { return card.backend(); }}),
                     notifier);
    CHECK(notifier.messages.empty());
    CHECK(nuvok::volumeStepUp(volume).made);
    CHECK_EQ(card.level(nuvok::kComponentSpeakers), 57);

    server.heal(MixerOp::Open);
    const nuvok::VolumeStep step = nuvok::volumeStepUp(volume);
    CHECK(step.made);
    CHECK_EQ(step.notice, std::string("Volume control available: server"));
    CHECK_EQ(server.level(nuvok::kComponentSpeakers), 24030);
    CHECK_EQ(card.level(nuvok::kComponentSpeakers), 57);
    CHECK_EQ(volume.MaxWaveVolume(), 65536);
    // Once on the server nothing is probed or announced any more.
    const int cardOpens = card.calls(MixerOp::Open);
    CHECK(nuvok::volumeStepDown(volume).notice.empty());
    CHECK_EQ(card.calls(MixerOp::Open), cardOpens);
    CHECK_EQ(server.level(nuvok::kComponentSpeakers), 19661);
}
