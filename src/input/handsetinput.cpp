#include "input/handsetinput.h"

#include "remote/keymessage.h"

HandsetInput::HandsetInput(nuvok::DropTiming dropTiming, QObject* parent)
    : KeyInput(parent), m_receiver(new KeyReceiver(dropTiming, this)) {
    connect(m_receiver, &KeyReceiver::message, this, &HandsetInput::take);
    connect(m_receiver, &KeyReceiver::logLine, this, &KeyInput::logLine);
    connect(m_receiver, &KeyReceiver::peerAccepted, this, &HandsetInput::peerAccepted);
}

void HandsetInput::listen(int port, int protocol) {
    m_port = port;
    m_protocol = protocol;
    m_receiver->close();
    if (ended())
        return; // an ended run listens no more, even when start-up goes on after the end
    m_receiver->open(port, protocol);
    emit reachChanged();
}

// Said when the gap opens, by a listen with another protocol or by the
// settings.
QString HandsetInput::forgedSenderWarning() const {
    const SocketComponent& listener = socket();
    if (listener.State() == SocketComponent::sckClosed ||
        !trust().datagramOpensDoor(listener.Protocol(), handsets()))
        return {};
    return QStringLiteral("A UDP datagram can open the door, and anyone on the network can "
                          "forge its sender: to keep the door for a trusted handset, set "
                          "DoorOverTcpOnly to true, or listen by TCP and set ControllerHandsets");
}

QString HandsetInput::stateText() const {
    const SocketComponent& listener = socket();
    const QString port = QString::number(listener.boundPort());
    switch (listener.State()) {
    case SocketComponent::sckClosed:
        return QStringLiteral("not listening");
    case SocketComponent::sckOpen:
        return QStringLiteral("listening on UDP port %1").arg(port);
    case SocketComponent::sckListening:
        return QStringLiteral("listening on TCP port %1").arg(port);
    case SocketComponent::sckConnected:
        return QStringLiteral("serving %1 on TCP port %2").arg(listener.RemoteHostIP(), port);
    default:
        return QStringLiteral("TCP port %1, state %2").arg(port).arg(listener.State());
    }
}

// One key message, from a datagram or a pair of the TCP stream. A message
// that cannot be read is one line, and the next is read as usual.
void HandsetInput::take(const QByteArray& data, const QHostAddress& sender, bool overTcp) {
    KeyArrival arrival;
    try {
        const nuvok::DecodedKeyMessage message = nuvok::decodeKeyMessage(
            std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
        if (message.key) {
            arrival.line = QString::fromStdString(message.logLine);
            arrival.code = message.key;
            arrival.origin = trust().originOf(sender, overTcp);
        }
    } catch (...) {
        arrival.failure = std::current_exception();
    }
    emit arrived(arrival);
}
