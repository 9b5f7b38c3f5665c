#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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

    // True when the device has gone away since it was opened (a sound server
    // that ended, a headset unplugged), or another device would be chosen now:
    // the next access should open it again rather than use it.
    virtual bool stale() { return false; }
    // What the mixer is, for the log ("the PulseAudio sound server").
    virtual std::string name() const { return "the mixer"; }
    // Why the most recent call failed, for the log; empty when it is not known.
    virtual std::string failureText() const { return {}; }
    // True when the last open() reached the device but it did not answer in
    // time (a hung sound server). Mixers that might reach it another way are
    // then not tried, since they could wait for it without a bound.
    virtual bool hung() const { return false; }
    // True when the most recent call reached the device but it did not answer
    // in time: the device hangs, and asking again would only wait again.
    virtual bool timedOut() const { return false; }
};

// The mixer of this OS: the sound server through PulseAudio's client library
// where one answers, else ALSA's default device on Linux; winmm's first
// device on Windows. It chooses again every time it is opened.
std::unique_ptr<MixerBackend> createSystemMixer();

} // namespace nuvok
