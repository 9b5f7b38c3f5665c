#include "app/f_nuvokrc.h"

#include "common/failure.h"
#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

#include <string>
#include <vector>

namespace {

clsVolume& volumeOf(const std::unique_ptr<clsVolume>& objVolume) {
    if (!objVolume)
        throw nuvok::Failure("Volume control is not ready yet (the mixer has not been opened)");
    return *objVolume;
}

// Keeps the no-mixer message until the window has its volume object.
class HeldNotifier : public nuvok::Notifier {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

} // namespace

// The no-mixer box waits for the user; the volume object is the window's
// before it shows, so that keys handled meanwhile can already find a sound
// server that has come up.
void F_NUVOKrc::createVolumeObject() {
    HeldNotifier held;
    objVolume = std::make_unique<clsVolume>(m_services.mixerBackend(), held);
    for (const std::string& message : held.messages)
        m_services.notifier->showMessage(message);
}

// The caller logs "Vol+" or "Vol-" when the step returns; a step that was not
// made ends the key with one line that says why.
void F_NUVOKrc::stepVolume(bool up) {
    const nuvok::VolumeStep step =
        up ? nuvok::volumeStepUp(volumeOf(objVolume)) : nuvok::volumeStepDown(volumeOf(objVolume));
    if (!step.notice.empty())
        logData(QString::fromStdString(step.notice));
    if (!step.made)
        throw nuvok::Failure(std::string("Volume not changed (") + (up ? "Vol+" : "Vol-") +
                             "): " + step.failure);
}

void F_NUVOKrc::VolIncr() {
    stepVolume(true);
}

void F_NUVOKrc::VolDecr() {
    stepVolume(false);
}
