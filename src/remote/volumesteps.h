#pragma once

#include <string>

class clsVolume;

namespace nuvok {

// Where a step left the speakers level, as a user reads it: percent of the
// top, and whether it is at the bottom or the top of the range.
struct VolumeLevel {
    int percent = 0;
    bool atMinimum = false;
    bool atMaximum = false;
};

// What became of one step.
struct VolumeStep {
    bool made = false;
    VolumeLevel level;   // when made
    std::string failure; // why not, for the log
    std::string notice;  // the mixer was found (again) for this step; for the log
};

// One step of the speakers volume, a fifteenth of the range from 0 to
// MaxWaveVolume, up to at most MaxWaveVolume or down to at least 0. The step
// starts from the level the mixer reports now, so a level set by another
// program moves by exactly one step. A level above the top (a sound server's
// volume above 100 %) is not raised further, and goes down by one step from
// where it is. Nothing is written when the level cannot be read.
VolumeStep volumeStepUp(clsVolume& volume);
VolumeStep volumeStepDown(clsVolume& volume);

} // namespace nuvok
