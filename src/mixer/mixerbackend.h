#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace nuvok {

// Component types of the mixer lines the program looks for (the values the
// Windows mixer uses, which every back-end understands).
inline constexpr std::uint32_t kComponentSpeakers = 4;        // speakers output
inline constexpr std::uint32_t kComponentMicrophone = 0x1003; // microphone input

// A volume control of a line: its identifier and its bounds.
struct MixerControlInfo {
    std::uint32_t controlId = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
};

// The first audio mixer device, as far as the volume class needs it. Every
// operation reports failure by its result and never throws.
class MixerBackend {
public:
    virtual ~MixerBackend() = default;

    // Opens mixer device 0.
    virtual bool open() = 0;
    // The line identifier of the first line of a component type.
    virtual std::optional<std::uint32_t> findLine(std::uint32_t componentType) = 0;
    // The volume control of a line.
    virtual std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) = 0;
    // One value, the same for all channels of the control.
    virtual std::optional<std::int32_t> readValue(std::uint32_t controlId) = 0;
    virtual bool writeValue(std::uint32_t controlId, std::int32_t value) = 0;
    // Closes the device; harmless when it is not open.
    virtual void close() = 0;
};

// The mixer of this OS (ALSA on Linux, winmm on Windows).
std::unique_ptr<MixerBackend> createSystemMixer();

} // namespace nuvok
