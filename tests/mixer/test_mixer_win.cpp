// The winmm mixer as this system has it. Under Wine there is a mixer device
// only while a sound server is reachable, so the checks hold either way: with
// a device the controls found must read back what is written; without one the
// back-end and the volume object must take the no-mixer path quietly.
#include "support/check.h"
#include "support/fakemixer.h"

#include "mixer/clsvolume.h"

#include <windows.h>

#include <mmsystem.h>

#include <iostream>

using nuvok::kComponentMicrophone;
using nuvok::kComponentSpeakers;
using nuvok::test::RecordingNotifier;

namespace {

constexpr std::uint32_t kNoSuchId = 0xFFFFFF00;

// Writes a level into the middle of the control, reads it back, restores.
void checkControl(nuvok::MixerBackend& mixer, const nuvok::MixerControlInfo& control,
                  const char* name) {
    std::cout << "note: " << name << " volume control " << control.controlId << ", bounds "
              << control.minimum << ".." << control.maximum << '\n';
    CHECK(control.minimum <= control.maximum);
    const std::optional<std::int32_t> before = mixer.readValue(control.controlId);
    CHECK(before.has_value());
    const std::int32_t target = control.minimum + (control.maximum - control.minimum) / 3;
    CHECK(mixer.writeValue(control.controlId, target));
    CHECK_EQ(mixer.readValue(control.controlId).value_or(-1), target);
    if (before)
        CHECK(mixer.writeValue(control.controlId, *before));
}

} // namespace

TEST_CASE("a mixer that is not open answers nothing") {
    auto mixer = nuvok::createSystemMixer();
    CHECK(!mixer->findLine(kComponentSpeakers));
    CHECK(!mixer->findVolumeControl(0));
    CHECK(!mixer->readValue(0));
    CHECK(!mixer->writeValue(0, 0));
    mixer->close();
    mixer->close();
}

TEST_CASE("device 0 opens exactly when winmm counts a mixer") {
    auto mixer = nuvok::createSystemMixer();
    const bool opened = mixer->open();
    CHECK_EQ(opened, mixerGetNumDevs() > 0);
    std::cout << "note: mixer devices: " << mixerGetNumDevs() << '\n';
    if (!opened)
        return;
    CHECK(!mixer->findVolumeControl(kNoSuchId));
    CHECK(!mixer->readValue(kNoSuchId));
    CHECK(!mixer->writeValue(kNoSuchId, 0));

    for (auto [type, name] : {std::pair{kComponentSpeakers, "speakers"},
                              std::pair{kComponentMicrophone, "microphone"}}) {
        const std::optional<std::uint32_t> line = mixer->findLine(type);
        std::cout << "note: " << name << " line " << (line ? "found" : "not found") << '\n';
        if (!line)
            continue;
        if (const auto control = mixer->findVolumeControl(*line))
            checkControl(*mixer, *control, name);
    }
    // Opening again starts over with one open handle.
    CHECK(mixer->open());
    mixer->close();
    CHECK(!mixer->findLine(kComponentSpeakers));
}

TEST_CASE("the volume object on winmm: a message exactly when there is no mixer") {
    RecordingNotifier notifier;
    clsVolume volume(nuvok::createSystemMixer(), notifier);
    const bool haveMixer = mixerGetNumDevs() > 0;
    CHECK_EQ(notifier.messages.size(), haveMixer ? 0u : 1u);
    if (!haveMixer) {
        CHECK_EQ(notifier.messages.front(), std::string("Es wurde kein Mixer gefunden!"));
        CHECK_EQ(volume.MaxWaveVolume(), 0);
        CHECK_EQ(volume.MaxMicVolume(), 0);
        CHECK_EQ(volume.WaveVolume(), 0);
        volume.WaveVolume(1000);
        CHECK_EQ(volume.WaveVolume(), 0);
        return;
    }
    // Whatever was found reads back a level written within its bounds.
    if (volume.MaxWaveVolume() > volume.MinWaveVolume()) {
        const std::int32_t before = volume.WaveVolume();
        volume.WaveVolume(volume.MaxWaveVolume() / 2);
        CHECK_EQ(volume.WaveVolume(), volume.MaxWaveVolume() / 2);
        volume.WaveVolume(volume.MaxWaveVolume() + 1);
        CHECK_EQ(volume.WaveVolume(), volume.MaxWaveVolume());
        volume.WaveVolume(before);
    } else {
        CHECK_EQ(volume.WaveVolume(), 0);
    }
}
