#include "remote/volumesteps.h"

#include "common/numtext.h"
#include "mixer/clsvolume.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace nuvok {
namespace {

constexpr double kSteps = 15;

// The sum is formed in double precision and held in single precision; for
// large bounds that decides the last digit of the new level.
float stepped(const clsVolume::KeyLevel& now, double direction) {
    const double maximum = now.maximum;
    const double current = now.level;
    return static_cast<float>(current + direction * (maximum / kSteps));
}

std::string percent(const clsVolume::KeyLevel& now) {
    return std::to_string(std::lround(100.0 * now.level / now.maximum)) + " %";
}

VolumeStep finish(clsVolume& volume, const std::optional<std::int32_t>& level,
                  const std::string& refusal = {}) {
    VolumeStep step;
    if (level)
        step.made = volume.writeWaveForKey(*level);
    if (step.made) {
        const std::int32_t written = volume.keyLevelWritten();
        const std::int32_t maximum = volume.MaxWaveVolume();
        step.level.percent =
            maximum > 0 ? static_cast<int>(std::lround(100.0 * written / maximum)) : 0;
        step.level.atMaximum = written >= maximum;
        step.level.atMinimum = written <= std::max(0, volume.MinWaveVolume());
    }
    step.failure = !refusal.empty() ? refusal : step.made ? std::string() : volume.keyFailure();
    step.notice = volume.takeAvailabilityNotice();
    return step;
}

} // namespace

VolumeStep volumeStepUp(clsVolume& volume) {
    const std::optional<clsVolume::KeyLevel> now = volume.readWaveForKey();
    if (!now)
        return finish(volume, std::nullopt);
    const std::int32_t maximum = now->maximum;
    // Above the top (raised by another program) Up leaves the level alone
    // rather than pulling it down to the top.
    if (now->level > maximum && maximum > 0)
        return finish(volume, std::nullopt,
                      "the level is " + percent(*now) + ", above the top the keys raise it to");
    const float level = stepped(*now, +1);
    // Above the top the top itself is written: single precision cannot hold
    // every 32-bit bound, and the step must not fail just below it.
    return finish(volume,
                  level > static_cast<double>(maximum) ? maximum : roundHalfEvenToInt32(level));
}

VolumeStep volumeStepDown(clsVolume& volume) {
    const std::optional<clsVolume::KeyLevel> now = volume.readWaveForKey();
    if (!now)
        return finish(volume, std::nullopt);
    float level = stepped(*now, -1);
    // The floor is 0, not MinWaveVolume; the mixer object clamps to its own bounds.
    if (level < 0)
        level = 0;
    return finish(volume, roundHalfEvenToInt32(level));
}

} // namespace nuvok
