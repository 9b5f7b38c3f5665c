#pragma once

#include "mixer/mixerbackend.h"
#include "mixer/notifier.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Speakers and microphone volume of the first mixer device. The mixer is
// opened and the two volume controls are looked up at construction; the
// levels are read from and written to the mixer on every access, only the
// bounds are kept. The properties report nothing to the caller: a missing
// mixer is announced once at construction, later failures read as 0 and
// writes that fail are dropped.
//
// The volume keys use the checked access below instead: it opens the mixer
// again when it was missing, has gone away or would be chosen differently now
// (a sound server that restarted or started late), and says why a level could
// not be read or written.
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

    // The speakers level and the top of its range, for a step.
    struct KeyLevel {
        std::int32_t level = 0;
        std::int32_t maximum = 0;
    };
    std::optional<KeyLevel> readWaveForKey();
    // Writes a level clamped to the control's bounds; a level above the top
    // is kept only when it is below the level read just before, so that a
    // step down from above the top goes one step and not down to the top.
    bool writeWaveForKey(std::int32_t level);
    // The level the last successful writeWaveForKey wrote, after clamping.
    std::int32_t keyLevelWritten() const { return m_keyLevelWritten; }
    // Why the last checked access failed, for the log.
    const std::string& keyFailure() const { return m_keyFailure; }
    // Whether the last checked access failed because the mixer did not
    // answer in time (a hung sound server).
    bool keyTimedOut() const { return m_mixer && m_mixer->timedOut(); }
    // Once after the checked access found a mixer where there was none or
    // another one before: "Volume control available: ...". Empty otherwise.
    std::string takeAvailabilityNotice();
    // Why the microphone volume is missing, as the mixer told it at the
    // opening: "No microphone volume: ...". Empty when it was found, when no
    // mixer opened, and when the mixer simply has no such line. Set once, at
    // construction: a missing microphone is said there, never by the keys.
    const std::string& microphoneNote() const { return m_micNote; }

private:
    struct Control {
        bool found = false;
        nuvok::MixerControlInfo info;
    };

    bool FindLineControl(std::uint32_t componentType, Control& control);
    std::int32_t ReadControlValue(const Control& control) const;
    bool WriteControlValue(const Control& control, std::int32_t value);
    void writeClamped(const Control& control, std::int32_t value);
    bool openControls(std::string* micFailure = nullptr);
    bool reopen();
    bool readyForKey();
    bool keyFailed(const std::string& fallback);
    bool keyFailedWith(const std::string& why, const std::string& fallback);
    bool reopenFailed();

    std::unique_ptr<nuvok::MixerBackend> m_mixer;
    Control m_wave;
    Control m_mic;
    // Whether the last access of the keys found the speakers control, and
    // through which mixer.
    bool m_open = false;
    bool m_keyReady = false;
    std::string m_keyMixer;
    std::optional<std::int32_t> m_lastKeyLevel;
    std::int32_t m_keyLevelWritten = 0;
    std::string m_keyFailure;
    // Why the speakers control was not found at the last opening; the
    // microphone's lookup after it must not stand in its place.
    std::string m_waveFailure;
    std::string m_notice;
    std::string m_micNote;
};
