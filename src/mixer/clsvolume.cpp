#include "mixer/clsvolume.h"

#include <utility>

clsVolume::clsVolume(std::unique_ptr<nuvok::MixerBackend> mixer, nuvok::Notifier& notifier)
    : m_mixer(std::move(mixer)) {
    std::string micFailure;
    if (!m_mixer || !openControls(&micFailure)) {
        notifier.showMessage(kNoMixerMessage);
        return;
    }
    if (!m_mic.found && !micFailure.empty())
        m_micNote = "No microphone volume: " + micFailure;
}

// Each lookup's failure is taken right after it: the mixer tells only why
// its most recent call failed.
bool clsVolume::openControls(std::string* micFailure) {
    m_wave = {};
    m_mic = {};
    m_waveFailure.clear();
    m_open = m_mixer->open();
    if (!m_open) {
        m_keyReady = false;
        return false;
    }
    if (!FindLineControl(nuvok::kComponentSpeakers, m_wave))
        m_waveFailure = m_mixer->failureText();
    if (!FindLineControl(nuvok::kComponentMicrophone, m_mic) && micFailure)
        *micFailure = m_mixer->failureText();
    m_keyReady = m_wave.found;
    if (m_keyReady)
        m_keyMixer = m_mixer->name();
    return true;
}

bool clsVolume::reopen() {
    const bool wasReady = m_keyReady;
    const std::string before = m_keyMixer;
    m_mixer->close();
    openControls();
    if (m_keyReady && (!wasReady || before != m_keyMixer))
        m_notice = "Volume control available: " + m_keyMixer;
    return m_keyReady;
}

bool clsVolume::keyFailed(const std::string& fallback) {
    return keyFailedWith(m_mixer ? m_mixer->failureText() : std::string(), fallback);
}

bool clsVolume::keyFailedWith(const std::string& why, const std::string& fallback) {
    m_keyFailure = why.empty() ? fallback : why;
    m_keyReady = false;
    return false;
}

// A mixer that failed at the last key, or tells that it has gone away, is
// chosen and opened again before it is used.
bool clsVolume::readyForKey() {
    if (!m_mixer) {
        m_keyFailure = "no mixer was found";
        return false;
    }
    if (m_keyReady && !m_mixer->stale())
        return true;
    return reopen() || reopenFailed();
}

// Opened without speakers: the reason is the speakers' own, whatever was
// looked up after them.
bool clsVolume::reopenFailed() {
    if (m_open)
        return keyFailedWith(m_waveFailure, "the mixer has no speakers volume control");
    return keyFailed("no mixer was found");
}

std::optional<clsVolume::KeyLevel> clsVolume::readWaveForKey() {
    m_lastKeyLevel.reset();
    if (!readyForKey())
        return std::nullopt;
    std::optional<std::int32_t> level = m_mixer->readValue(m_wave.info.controlId);
    // A device that went away between two keys (a restarted sound server) is
    // opened again once, at once; one that did not answer is not asked again.
    if (!level && !m_mixer->timedOut() && m_mixer->stale()) {
        if (!reopen()) {
            reopenFailed();
            return std::nullopt;
        }
        level = m_mixer->readValue(m_wave.info.controlId);
    }
    if (!level) {
        keyFailed("the level could not be read");
        return std::nullopt;
    }
    m_lastKeyLevel = level;
    return KeyLevel{*level, m_wave.info.maximum};
}

bool clsVolume::writeWaveForKey(std::int32_t level) {
    if (!m_keyReady) {
        if (m_keyFailure.empty())
            m_keyFailure = "no mixer was found";
        return false;
    }
    std::int32_t top = m_wave.info.maximum;
    if (m_lastKeyLevel && level < *m_lastKeyLevel && top < *m_lastKeyLevel)
        top = *m_lastKeyLevel;
    if (level > top)
        level = top;
    if (level < m_wave.info.minimum)
        level = m_wave.info.minimum;
    if (!m_mixer->writeValue(m_wave.info.controlId, level))
        return keyFailed("the mixer did not take the level");
    m_keyLevelWritten = level;
    m_keyFailure.clear();
    return true;
}

std::string clsVolume::takeAvailabilityNotice() {
    return std::exchange(m_notice, std::string());
}

clsVolume::~clsVolume() {
    if (m_mixer)
        m_mixer->close();
}

std::int32_t clsVolume::WaveVolume() const {
    return ReadControlValue(m_wave);
}
std::int32_t clsVolume::MicroVolume() const {
    return ReadControlValue(m_mic);
}
void clsVolume::WaveVolume(std::int32_t NewVolume) {
    writeClamped(m_wave, NewVolume);
}
void clsVolume::MicroVolume(std::int32_t NewVolume) {
    writeClamped(m_mic, NewVolume);
}

bool clsVolume::FindLineControl(std::uint32_t componentType, Control& control) {
    const std::optional<std::uint32_t> line = m_mixer->findLine(componentType);
    if (!line)
        return false;
    const std::optional<nuvok::MixerControlInfo> found = m_mixer->findVolumeControl(*line);
    if (!found)
        return false;
    control.found = true;
    control.info = *found;
    return true;
}

// A control that was never found is not asked for: it reads as 0 and takes no
// writes, which is what the mixer would answer for it anyway.
std::int32_t clsVolume::ReadControlValue(const Control& control) const {
    if (!control.found)
        return 0;
    return m_mixer->readValue(control.info.controlId).value_or(0);
}

bool clsVolume::WriteControlValue(const Control& control, std::int32_t value) {
    if (!control.found)
        return false;
    return m_mixer->writeValue(control.info.controlId, value);
}

void clsVolume::writeClamped(const Control& control, std::int32_t value) {
    if (value < control.info.minimum)
        value = control.info.minimum;
    if (value > control.info.maximum)
        value = control.info.maximum;
    WriteControlValue(control, value);
}
