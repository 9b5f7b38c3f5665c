#pragma once

#include "mixer/mixerbackend.h"

#include <memory>

namespace nuvok {

// How long one request to the sound server may take before it counts as
// failed: long enough for a busy machine, short enough not to be felt.
inline constexpr int kSoundServerRoundTripMs = 500;

// The sound server's default output and input, through libpulse.
std::unique_ptr<MixerBackend> createPulseMixer(int roundTripMs = kSoundServerRoundTripMs);

} // namespace nuvok
