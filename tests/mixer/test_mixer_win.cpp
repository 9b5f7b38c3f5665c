// The winmm mixer as this system has it. Under Wine there is a mixer device
// only while a sound server is reachable, so the checks hold either way: with
// a device the controls found must read back what is written; without one the
// back-end and the volume object must take the no-mixer path quietly.
#include "support/check.h"
#include "support/fakemixer.h"

#include "mixer/clsvolume.h"
#include "mixer/mixer_win.h"
#include "remote/volumesteps.h"

#include <windows.h>

#include <mmsystem.h>

#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

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
        // A line the device does not have is no failure of the device.
        if (!line) {
            CHECK_EQ(mixer->failureText(), std::string());
            continue;
        }
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
    // Nothing is said of a microphone line that device 0 does not have.
    CHECK_EQ(volume.microphoneNote(), std::string());
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

namespace {

// One winmm mixer device that can be unplugged and plugged in again: a handle
// of a device that went away answers MMSYSERR_NODRIVER, as winmm does, and
// only a new mixerOpen reaches the device again.
struct FakeWinmm {
    bool present = true;
    UINT_PTR generation = 1; // the handle mixerOpen gives now
    UINT_PTR opened = 0;     // the handle last given out
    int opens = 0;
    DWORD level = 4369;

    MMRESULT reach(HMIXEROBJ object) const {
        return present && reinterpret_cast<UINT_PTR>(object) == generation && opened == generation
                   ? MMSYSERR_NOERROR
                   : MMSYSERR_NODRIVER;
    }

    nuvok::WinmmCalls calls() {
        nuvok::WinmmCalls c;
        c.open = [this](LPHMIXER handle, UINT, DWORD_PTR, DWORD_PTR, DWORD) {
            ++opens;
            if (!present)
                return MMRESULT(MMSYSERR_BADDEVICEID);
            opened = generation;
            *handle = reinterpret_cast<HMIXER>(generation);
            return MMRESULT(MMSYSERR_NOERROR);
        };
        c.getLineInfo = [this](HMIXEROBJ object, LPMIXERLINEA line, DWORD) {
            if (const MMRESULT r = reach(object))
                return r;
            if (line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
                return MMRESULT(MIXERR_INVALLINE);
            line->dwLineID = 7;
            return MMRESULT(MMSYSERR_NOERROR);
        };
        c.getLineControls = [this](HMIXEROBJ object, LPMIXERLINECONTROLSA request, DWORD) {
            if (const MMRESULT r = reach(object))
                return r;
            request->pamxctrl->dwControlID = 9;
            request->pamxctrl->Bounds.dwMinimum = 0;
            request->pamxctrl->Bounds.dwMaximum = 65535;
            return MMRESULT(MMSYSERR_NOERROR);
        };
        c.getControlDetails = [this](HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD) {
            if (const MMRESULT r = reach(object))
                return r;
            static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails)->dwValue = level;
            return MMRESULT(MMSYSERR_NOERROR);
        };
        c.setControlDetails = [this](HMIXEROBJ object, LPMIXERCONTROLDETAILS details, DWORD) {
            if (const MMRESULT r = reach(object))
                return r;
            level = static_cast<MIXERCONTROLDETAILS_UNSIGNED*>(details->paDetails)->dwValue;
            return MMRESULT(MMSYSERR_NOERROR);
        };
        c.close = [](HMIXER) { return MMRESULT(MMSYSERR_NOERROR); };
        return c;
    }
};

} // namespace

// Each row is a script: "up" presses Up and expects the step made, "up!" not
// made; "unplug" and "plug" take the device away and bring it back.
TEST_CASE("a device that goes away is opened again on the next key") {
    struct Row {
        std::string name;
        std::vector<std::string> script;
        DWORD level;
        int opens;
    };
    const std::vector<Row> rows = {
        {"unplugged and back between two keys", {"up", "unplug", "plug", "up"}, 13107, 2},
        {"a key while it is away, then back",
         {"up", "unplug", "up!", "up!", "plug", "up"},
         13107,
         4},
        {"away at start-up, plugged in later", {"unplug", "start", "up!", "plug", "up"}, 8738, 3},
    };
    for (const Row& row : rows) {
        FakeWinmm winmm;
        RecordingNotifier notifier;
        std::unique_ptr<clsVolume> volume;
        const auto start = [&] {
            volume = std::make_unique<clsVolume>(nuvok::createWinmmMixer(winmm.calls()), notifier);
        };
        if (row.script.front() != "unplug")
            start();
        for (const std::string& action : row.script) {
            if (action == "start") {
                start();
            } else if (action == "unplug") {
                winmm.present = false;
            } else if (action == "plug") {
                winmm.present = true;
                ++winmm.generation;
            } else {
                const nuvok::VolumeStep step = nuvok::volumeStepUp(*volume);
                const bool expected = action == "up";
                if (step.made != expected)
                    nuvok::test::fail(__FILE__, __LINE__,
                                      row.name + ": " + action + " gave " + step.failure);
                if (!step.made && step.failure.find("not there") == std::string::npos)
                    nuvok::test::fail(__FILE__, __LINE__, row.name + ": reason " + step.failure);
            }
        }
        if (winmm.level != row.level || winmm.opens != row.opens)
            nuvok::test::fail(__FILE__, __LINE__,
                              row.name + ": level " + std::to_string(winmm.level) + ", opens " +
                                  std::to_string(winmm.opens));
        // The no-mixer box only when there was none at start-up.
        CHECK_EQ(notifier.messages.size(), row.script.front() == "unplug" ? 1u : 0u);
        // A device without a microphone line (as device 0 usually is) is
        // nothing to tell.
        CHECK_EQ(volume->microphoneNote(), std::string());
    }
}
