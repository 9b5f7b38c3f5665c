#pragma once

#include "mixer/mixerbackend.h"

#include <memory>

namespace nuvok {

// ALSA's "default" device and its simple mixer.
std::unique_ptr<MixerBackend> createAlsaMixer();

} // namespace nuvok
