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

// The no-mixer box waits for the user; the volume object is the session's
// before it shows, so that keys handled meanwhile can already find a sound
// server that has come up.
void F_NUVOKrc::createVolumeObject() {
    HeldNotifier held;
    m_session->setVolume(std::make_shared<clsVolume>(m_services.mixerBackend(), held));
    for (const std::string& message : held.messages)
        m_services.notifier->showMessage(message);
}
