#include "app/f_nuvokrc.h"

#include "mixer/clsvolume.h"

#include <string>
#include <vector>

// The no-mixer box waits for the user; the volume object is the session's
// before it shows, so that keys handled meanwhile can already find a sound
// server that has come up. The mixer is opened on the sound server's queue.
void F_NUVOKrc::createVolumeObject() {
    m_session->openVolume(m_services.mixerBackend, [this](const QStringList& messages) {
        for (const QString& message : messages)
            m_services.notifier->showMessage(message.toStdString());
    });
}
