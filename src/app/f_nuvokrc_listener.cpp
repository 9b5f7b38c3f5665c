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
        m_session->receiver()->close();
        return; // a closed window listens no more, even when start-up goes on after the close
    }
    // The protocol is read at every opening, so a protocol stored meanwhile takes effect.
    m_session->listen(nuvok::roundHalfEvenToInt32(m_session->listenPort),
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

void F_NUVOKrc::showPeer(bool beep) {
    const SocketComponent& socket = m_session->receiver()->socket();
    T_remoteHost->setText(socket.RemoteHost());
    T_RemIP->setText(socket.RemoteHostIP());
    T_RPort->setText(QString::number(socket.RemotePort()));
    if (beep)
        QApplication::beep();
}

// The tray first when a key starts and last when it ends, so that the icon the
// user watches is blue for the whole handling: keep the two orders apart.
void F_NUVOKrc::showActivity(bool busy) {
    const QIcon& icon = busy ? m_blueIcon : m_greenIcon;
    if (busy) {
        m_tray->setTrayIcon(icon);
        setWindowIcon(icon);
    } else {
        setWindowIcon(icon);
        m_tray->setTrayIcon(icon);
    }
}

void F_NUVOKrc::Timer1_Timer() {
    const int state = m_session->receiver()->socket().State();
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
