#include "app/f_nuvokrc.h"

#include "app/traystuff.h"

#include "common/failure.h"
#include "common/numtext.h"
#include "net/eventpump.h"
#include "remote/keymessage.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

using nuvok::Failure;

namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

// ---- Listener ---------------------------------------------------------------

std::string F_NUVOKrc::readSetting(const char* key) const {
    return m_services.settings->read(key);
}

void F_NUVOKrc::doListen() {
    Winsock1->Close();
    if (m_unloaded)
        return; // a closed window listens no more, even when a wait ends after the close
    Winsock1->setLocalPort(nuvok::roundHalfEvenToInt32(listenPort));
    // Read at every opening, so a protocol stored meanwhile takes effect.
    Winsock1->setProtocol(readSetting("Protocol") == "TCP" ? SocketComponent::sckTCPProtocol
                                                           : SocketComponent::sckUDPProtocol);
    if (Winsock1->Protocol() == SocketComponent::sckUDPProtocol)
        Winsock1->Bind();
    else
        Winsock1->Listen();
    eventpump::processPendingEvents();
}

void F_NUVOKrc::reportFailures(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const Failure& failure) {
        logData(fromStd(failure.description()));
    } catch (const std::exception& failure) {
        logData(QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        logData(QStringLiteral("An action failed for an unknown reason and was left unfinished"));
    }
}

void F_NUVOKrc::b_listen_Click() {
    reportFailures([this] { doListen(); });
}

void F_NUVOKrc::Winsock1_ConnectionRequest(int requestID) {
    reportFailures([this, requestID] {
        Winsock1->Close();
        Winsock1->Accept(requestID);
        T_remoteHost->setText(Winsock1->RemoteHost());
        T_RemIP->setText(Winsock1->RemoteHostIP());
        T_RPort->setText(QString::number(Winsock1->RemotePort()));
        QApplication::beep();
    });
}

void F_NUVOKrc::Winsock1_Connect() {
    T_remoteHost->setText(Winsock1->RemoteHost());
    T_RemIP->setText(Winsock1->RemoteHostIP());
    T_RPort->setText(QString::number(Winsock1->RemotePort()));
}

// The listener stays closed until Listen is pressed or the port changes.
void F_NUVOKrc::Winsock1_Close() {
    Winsock1->Close();
}

// The tray first when a key starts and last when it ends, so that the icon the
// user watches is blue for the whole handling: keep the two orders apart.
void F_NUVOKrc::showActivity(bool busy) {
    const QIcon& icon = busy ? m_blueIcon : m_greenIcon;
    if (busy) {
        trayStuff::setTrayIcon(icon);
        setWindowIcon(icon);
    } else {
        setWindowIcon(icon);
        trayStuff::setTrayIcon(icon);
    }
}

void F_NUVOKrc::discardArrival() {
    try {
        Winsock1->GetData();
    } catch (const std::exception&) {
        // the socket was closed meanwhile: nothing is left to discard
    }
}

void F_NUVOKrc::Winsock1_DataArrival(int bytesTotal) {
    (void)bytesTotal; // all pending data is read
    {
        const nuvok::NestingLimit::Level level(m_arrivalNesting);
        if (!level.admitted()) {
            discardArrival();
            return;
        }
        reportFailures([this] {
            showActivity(true);
            const QByteArray data = Winsock1->GetData();
            const nuvok::DecodedKeyMessage message = nuvok::decodeKeyMessage(
                std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
            if (message.key) {
                logData(QString::fromStdString(message.logLine));
                doRC(*message.key);
            }
        });
        showActivity(false);
    }
    if (const std::uint64_t dropped = m_arrivalNesting.takeTurnedAway())
        logData(fromStd(nuvok::droppedMessagesText(dropped, m_arrivalNesting.maxDepth())));
}

void F_NUVOKrc::Timer1_Timer() {
    const int state = Winsock1->State();
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

// ---- Senders outside Handsets -----------------------------------------------

// Called from inside the socket's own reading: counts and at most logs, so
// that a flood costs next to nothing and reaches neither the interpreter nor
// the speaker.
void F_NUVOKrc::senderRefused(const QHostAddress& sender) {
    reportFailures([&] {
        const std::string line =
            m_dropTally.record(sender.toString().toStdString(), m_dropClock.elapsed());
        if (!line.empty())
            logData(fromStd(line));
        if (m_dropTally.busy() && !m_dropTimer->isActive())
            m_dropTimer->start();
    });
}

void F_NUVOKrc::reportDrops() {
    for (const std::string& line : m_dropTally.due(m_dropClock.elapsed()))
        logData(fromStd(line));
    if (!m_dropTally.busy())
        m_dropTimer->stop();
}
