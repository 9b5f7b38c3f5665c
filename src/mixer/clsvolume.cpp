#include "mixer/clsvolume.h"

clsVolume::clsVolume(std::unique_ptr<nuvok::MixerBackend> mixer, nuvok::Notifier& notifier)
    : m_mixer(std::move(mixer)) {
    if (!m_mixer || !m_mixer->open()) {
        notifier.showMessage(kNoMixerMessage);
        return;
    }
    FindLineControl(nuvok::kComponentSpeakers, m_wave);
    FindLineControl(nuvok::kComponentMicrophone, m_mic);
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
