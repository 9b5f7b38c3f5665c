// On Linux the volume belongs to the sound server where one runs; ALSA's own
// mixer serves machines without one.
#include "mixer/mixer_alsa.h"
#include "mixer/mixer_pulse.h"
#include "mixer/mixerfallback.h"

namespace nuvok {

std::unique_ptr<MixerBackend> createSystemMixer() {
    return std::make_unique<FallbackMixer>(std::vector<MixerFactory>{
        [] { return createPulseMixer(); },
        [] { return createAlsaMixer(); },
    });
}

} // namespace nuvok
