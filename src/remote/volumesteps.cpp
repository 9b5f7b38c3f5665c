#include "remote/volumesteps.h"

#include "common/numtext.h"
#include "mixer/clsvolume.h"

#include <cstdint>

namespace nuvok {
namespace {

constexpr double kSteps = 15;

// The sum is formed in double precision and held in single precision; for
// large bounds that decides the last digit of the new level.
float stepped(const clsVolume& volume, double direction) {
    const double maximum = volume.MaxWaveVolume();
    const double current = volume.WaveVolume();
    return static_cast<float>(current + direction * (maximum / kSteps));
}

} // namespace

void volumeStepUp(clsVolume& volume) {
    const float level = stepped(volume, +1);
    const std::int32_t maximum = volume.MaxWaveVolume();
    // Above the top the top itself is written: single precision cannot hold
    // every 32-bit bound, and the step must not fail just below it.
    volume.WaveVolume(level > static_cast<double>(maximum) ? maximum : roundHalfEvenToInt32(level));
}

void volumeStepDown(clsVolume& volume) {
    float level = stepped(volume, -1);
    // The floor is 0, not MinWaveVolume; the mixer object clamps to its own bounds.
    if (level < 0)
        level = 0;
    volume.WaveVolume(roundHalfEvenToInt32(level));
}

} // namespace nuvok
