#include "app/f_nuvokrc.h"

#include "common/failure.h"
#include "mixer/clsvolume.h"
#include "remote/volumesteps.h"

namespace {

// Used when the services bring no notifier: the message still reaches the user.
class LogNotifier : public nuvok::Notifier {
public:
    explicit LogNotifier(F_NUVOKrc& window) : m_window(window) {}
    void showMessage(const std::string& text) override {
        m_window.logData(QString::fromStdString(text));
    }

private:
    F_NUVOKrc& m_window;
};

clsVolume& volumeOf(const std::unique_ptr<clsVolume>& objVolume) {
    if (!objVolume)
        throw nuvok::Failure("Volume control is not ready yet (the mixer has not been opened)");
    return *objVolume;
}

} // namespace

void F_NUVOKrc::createVolumeObject() {
    std::unique_ptr<nuvok::MixerBackend> mixer;
    if (m_services.mixerBackend)
        mixer = m_services.mixerBackend();
    if (m_services.notifier) {
        objVolume = std::make_unique<clsVolume>(std::move(mixer), *m_services.notifier);
    } else {
        LogNotifier toLog(*this);
        objVolume = std::make_unique<clsVolume>(std::move(mixer), toLog);
    }
}

void F_NUVOKrc::VolIncr() {
    nuvok::volumeStepUp(volumeOf(objVolume));
}

void F_NUVOKrc::VolDecr() {
    nuvok::volumeStepDown(volumeOf(objVolume));
}
