#include "mixer/mixerchoice.h"

#include "mixer/mixerbackend.h"

#include <string_view>

namespace nuvok {
namespace {

std::optional<MixerElementChoice> findNamed(std::span<const MixerElementCaps> elements,
                                            std::string_view name, VolumeSide side) {
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const MixerElementCaps& e = elements[i];
        const bool hasVolume = side == VolumeSide::Playback ? e.playbackVolume : e.captureVolume;
        if (e.name == name && hasVolume)
            return MixerElementChoice{i, side};
    }
    return std::nullopt;
}

std::optional<MixerElementChoice> speakers(std::span<const MixerElementCaps> elements) {
    for (std::string_view name : {"Master", "PCM", "Speaker"})
        if (auto choice = findNamed(elements, name, VolumeSide::Playback))
            return choice;
    for (std::size_t i = 0; i < elements.size(); ++i)
        if (elements[i].playbackVolume)
            return MixerElementChoice{i, VolumeSide::Playback};
    return std::nullopt;
}

std::optional<MixerElementChoice> microphone(std::span<const MixerElementCaps> elements) {
    if (auto choice = findNamed(elements, "Capture", VolumeSide::Capture))
        return choice;
    if (auto choice = findNamed(elements, "Mic", VolumeSide::Capture))
        return choice;
    return findNamed(elements, "Mic", VolumeSide::Playback);
}

} // namespace

std::optional<MixerElementChoice> chooseVolumeElement(std::span<const MixerElementCaps> elements,
                                                      std::uint32_t componentType) {
    switch (componentType) {
    case kComponentSpeakers:
        return speakers(elements);
    case kComponentMicrophone:
        return microphone(elements);
    default:
        return std::nullopt;
    }
}

} // namespace nuvok
