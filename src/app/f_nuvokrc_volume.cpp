#include "app/f_nuvokrc.h"

#include "mixer/clsvolume.h"

#include <string>
#include <vector>

namespace {

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
    m_session->setVolume(std::make_shared<clsVolume>(m_services.mixerBackend(), held));
    for (const std::string& message : held.messages)
        m_services.notifier->showMessage(message);
}

// One step on the sound server's queue; "Vol+" or "Vol-" is the key's line.
void F_NUVOKrc::VolIncr() {
    m_session->VolIncr();
}

void F_NUVOKrc::VolDecr() {
    m_session->VolDecr();
}
