#pragma once

#include "mixer/mixerbackend.h"
#include "mixer/notifier.h"

#include <cstdint>
#include <memory>

// Speakers and microphone volume of the first mixer device. The mixer is
// opened and the two volume controls are looked up once, at construction; the
// levels are read from and written to the mixer on every access, only the
// bounds are kept. Nothing is reported to the caller: a missing mixer is
// announced once at construction, later failures read as 0 and writes that
// fail are dropped.
class clsVolume {
public:
    static constexpr const char* kNoMixerMessage = "Es wurde kein Mixer gefunden!";

    // A null mixer counts as a mixer that cannot be opened.
    clsVolume(std::unique_ptr<nuvok::MixerBackend> mixer, nuvok::Notifier& notifier);
    ~clsVolume();
    clsVolume(const clsVolume&) = delete;
    clsVolume& operator=(const clsVolume&) = delete;

    std::int32_t MinWaveVolume() const { return m_wave.info.minimum; }
    std::int32_t MaxWaveVolume() const { return m_wave.info.maximum; }
    std::int32_t MinMicVolume() const { return m_mic.info.minimum; }
    std::int32_t MaxMicVolume() const { return m_mic.info.maximum; }

    std::int32_t WaveVolume() const;
    std::int32_t MicroVolume() const;
    void WaveVolume(std::int32_t NewVolume);
    void MicroVolume(std::int32_t NewVolume);

private:
    struct Control {
        bool found = false;
        nuvok::MixerControlInfo info;
    };

    bool FindLineControl(std::uint32_t componentType, Control& control);
    std::int32_t ReadControlValue(const Control& control) const;
    bool WriteControlValue(const Control& control, std::int32_t value);
    void writeClamped(const Control& control, std::int32_t value);

    std::unique_ptr<nuvok::MixerBackend> m_mixer;
    Control m_wave;
    Control m_mic;
};
