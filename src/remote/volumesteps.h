#pragma once

class clsVolume;

namespace nuvok {

// One step of the speakers volume, a fifteenth of the range from 0 to
// MaxWaveVolume, up to at most MaxWaveVolume or down to at least 0. The step
// starts from the level the mixer reports now, so a level set by another
// program moves by exactly one step.
void volumeStepUp(clsVolume& volume);
void volumeStepDown(clsVolume& volume);

} // namespace nuvok
