#include "app/f_nuvokrc.h"

#include "common/failure.h"
#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

namespace {

clsVolume& volumeOf(const std::unique_ptr<clsVolume>& objVolume) {
    if (!objVolume)
        throw nuvok::Failure("Volume control is not ready yet (the mixer has not been opened)");
    return *objVolume;
}

} // namespace

void F_NUVOKrc::createVolumeObject() {
    objVolume = std::make_unique<clsVolume>(m_services.mixerBackend(), *m_services.notifier);
}

void F_NUVOKrc::VolIncr() {
    nuvok::volumeStepUp(volumeOf(objVolume));
}

void F_NUVOKrc::VolDecr() {
    nuvok::volumeStepDown(volumeOf(objVolume));
}
