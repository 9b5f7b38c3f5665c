#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nuvok {

// What a sound card's simple mixer element offers.
struct MixerElementCaps {
    std::string name;
    bool playbackVolume = false;
    bool captureVolume = false;
};

enum class VolumeSide { Playback, Capture };

struct MixerElementChoice {
    std::size_t index = 0; // position in the element list
    VolumeSide side = VolumeSide::Playback;
};

// The element that stands for the line of a component type: for the speakers
// "Master", else "PCM", else "Speaker", else the first element with a playback
// volume (cards without a sound server often have no "Master"); for the
// microphone the capture volume of "Capture", else of "Mic", else the playback
// volume of "Mic". Nothing for other component types.
std::optional<MixerElementChoice> chooseVolumeElement(std::span<const MixerElementCaps> elements,
                                                      std::uint32_t componentType);

} // namespace nuvok
