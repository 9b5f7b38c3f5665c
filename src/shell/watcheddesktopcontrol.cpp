#include "shell/watcheddesktopcontrol.h"

WatchedDesktopControl::WatchedDesktopControl(std::unique_ptr<nuvok::DesktopControl> backEnd)
    : m_backEnd(std::move(backEnd)) {
    m_backEnd->watchEvents([this](int descriptor) { watch(descriptor); });
}

WatchedDesktopControl::~WatchedDesktopControl() {
    m_backEnd->watchEvents({});
    letGo();
}

void WatchedDesktopControl::watch(int descriptor) {
    if (m_notifier && m_notifier->socket() == descriptor)
        return;
    letGo();
    if (descriptor < 0)
        return;
    m_notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] {
        // The back-end reports nothing from here; a lost connection is only
        // closed, and the next key opens a new one.
        try {
            m_backEnd->takeEvents();
        } catch (...) {
        }
    });
}

// Called from the notifier's own signal when the connection closes, so the
// notifier is switched off at once and deleted later.
void WatchedDesktopControl::letGo() {
    if (!m_notifier)
        return;
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
}
