#pragma once

// Volume Up keys as a test presses them on a volume object of its own.

#include "support/check.h"

#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

#include <string>

namespace nuvok::test {

// Two Up keys in a row, as the user presses again after a failure (which
// opens the mixer anew): each is made when keyFailure is empty, else fails
// with exactly that text. A key that does otherwise fails the row.
inline void pressUpTwice(clsVolume& volume, const std::string& row, const std::string& keyFailure,
                         const char* file, int line) {
    for (int key = 1; key <= 2; ++key) {
        const VolumeStep up = volumeStepUp(volume);
        if (up.made != keyFailure.empty() || up.failure != keyFailure)
            fail(file, line, row + ": key " + std::to_string(key) + " said \"" + up.failure + "\"");
    }
}

} // namespace nuvok::test
