#include "app/f_nuvokrc.h"

#include "app/traystuff.h"

#include "common/numtext.h"
#include "session/failuretext.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

// ---- Listener ---------------------------------------------------------------

std::string F_NUVOKrc::readSetting(const char* key) const {
    return m_services.settings->read(key);
}

void F_NUVOKrc::doListen() {
    if (m_unloaded) {
        m_handset->stop();
        return; // a closed window listens no more, even when start-up goes on after the close
    }
    // The protocol is read at every opening, so a protocol stored meanwhile takes effect.
    m_handset->listen(nuvok::roundHalfEvenToInt32(m_handset->listenPort),
                      readSetting("Protocol") == "TCP" ? SocketComponent::sckTCPProtocol
                                                       : SocketComponent::sckUDPProtocol);
}

void F_NUVOKrc::reportFailures(const std::function<void()>& operation) {
    try {
        operation();
    } catch (...) {
        logData(failureText(std::current_exception()));
    }
}

void F_NUVOKrc::b_listen_Click() {
    reportFailures([this] { doListen(); });
}

void F_NUVOKrc::showPeer() {
    const SocketComponent& socket = m_handset->socket();
    T_remoteHost->setText(socket.RemoteHost());
    T_RemIP->setText(socket.RemoteHostIP());
    T_RPort->setText(QString::number(socket.RemotePort()));
    QApplication::beep();
}

// The tray first when a key starts and last when it ends, so that the icon the
// user watches is blue for the whole handling: keep the two orders apart.
void F_NUVOKrc::showActivity(bool busy) {
    const QIcon& icon = busy ? m_blueIcon : m_greenIcon;
    if (busy) {
        showPicture(PictureOf::Tray, icon);
        showPicture(PictureOf::Window, icon);
    } else {
        showPicture(PictureOf::Window, icon);
        showPicture(PictureOf::Tray, icon);
    }
}

// A key's keystrokes must not wait for its pictures. The tray's picture is
// cheap to change and changes at once. The window's own icon is only seen
// while the window is shown, and changing it sends the whole 64x64 picture to
// the window system: a hidden window gets the current picture when it is
// shown, and a shown one after the handler has queued the key's work, in the
// same turn of the event loop. Changes after a queued one wait behind it, so
// the order of the changes stays.
void F_NUVOKrc::showPicture(PictureOf where, const QIcon& picture) {
    if (where == PictureOf::Window) {
        m_windowPicture = picture;
        if (!isVisible())
            return;
    } else if (m_queuedPictures.empty()) {
        m_tray->setTrayIcon(picture);
        return;
    }
    m_queuedPictures.emplace_back(where, picture);
    if (m_queuedPictures.size() == 1)
        QMetaObject::invokeMethod(
            this, [this] { reportFailures([this] { showQueuedPictures(); }); },
            Qt::QueuedConnection);
}

void F_NUVOKrc::showQueuedPictures() {
    std::vector<std::pair<PictureOf, QIcon>> queued;
    queued.swap(m_queuedPictures);
    for (const auto& [where, picture] : queued) {
        if (where == PictureOf::Tray)
            m_tray->setTrayIcon(picture);
        else if (isVisible() && windowIcon().cacheKey() != picture.cacheKey())
            setWindowIcon(picture);
    }
}

void F_NUVOKrc::Timer1_Timer() {
    const int state = m_handset->socket().State();
    const QString text = QString::number(state);
    QColor colour;
    switch (state) {
    case SocketComponent::sckListening:
    case SocketComponent::sckConnecting:
        colour = QColor(255, 255, 0);
        break;
    case SocketComponent::sckError:
    case SocketComponent::sckClosing:
        colour = QColor(255, 0, 0);
        break;
    case SocketComponent::sckConnected:
        colour = QColor(0, 255, 0);
        break;
    default:
        colour = palette().color(QPalette::Window); // the menu background
        break;
    }
    // Ten ticks a second for months: touch the field only when it changes.
    if (T_state->text() != text)
        T_state->setText(text);
    if (T_state->palette().color(QPalette::Base) != colour) {
        QPalette palette = T_state->palette();
        palette.setColor(QPalette::Base, colour);
        T_state->setPalette(palette);
    }
}
