#include "net/keyreceiver.h"

#include "common/failure.h"

#include <QTimer>
#include <algorithm>

namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

KeyReceiver::KeyReceiver(nuvok::DropTiming dropTiming, QObject* parent)
    : QObject(parent), m_socket(new SocketComponent(this)), m_dropTally(dropTiming),
      m_dropTimer(new QTimer(this)) {
    connect(m_socket, &SocketComponent::DataArrival, this, &KeyReceiver::onDataArrival);
    connect(m_socket, &SocketComponent::ConnectionRequest, this, &KeyReceiver::onConnectionRequest);
    connect(m_socket, &SocketComponent::CloseEvent, this, &KeyReceiver::onPeerClosed);
    connect(m_socket, &SocketComponent::ConnectEvent, this, [this] { emit peerAccepted(false); });
    m_socket->setSenderFilter(
        [this](const QHostAddress& sender) { return m_handsets.admits(sender); },
        [this](const QHostAddress& sender) { senderRefused(sender); });
    m_dropClock.start();
    m_dropTimer->setInterval(
        static_cast<int>(std::clamp<std::int64_t>(dropTiming.quietMs / 4, 10, 250)));
    connect(m_dropTimer, &QTimer::timeout, this, &KeyReceiver::reportDrops);
}

void KeyReceiver::open(int port, int protocol) {
    close();
    m_socket->setLocalPort(port);
    m_socket->setProtocol(protocol);
    if (m_socket->Protocol() == SocketComponent::sckUDPProtocol)
        m_socket->Bind();
    else
        m_socket->Listen();
}

void KeyReceiver::close() {
    m_socket->Close();
    m_stream.clear();
    ++m_connection;
}

void KeyReceiver::reportFailure(const std::exception& failure) {
    if (const auto* described = dynamic_cast<const nuvok::Failure*>(&failure))
        emit logLine(fromStd(described->description()));
    else
        emit logLine(QString::fromLocal8Bit(failure.what()));
}

// One peer at a time: the listener gives way to the connection it accepts.
void KeyReceiver::onConnectionRequest(int requestID) {
    try {
        close();
        m_socket->Accept(requestID);
    } catch (const std::exception& failure) {
        reportFailure(failure);
        return;
    }
    emit peerAccepted(true);
}

void KeyReceiver::onDataArrival() {
    {
        const nuvok::NestingLimit::Level level(m_nesting);
        try {
            if (!level.admitted()) {
                m_socket->GetData(); // turned away, counted by the level
                m_stream.clear();    // a stream cut here cannot be trusted
            } else if (m_socket->Protocol() == SocketComponent::sckUDPProtocol) {
                hand(m_socket->GetData());
            } else {
                const QByteArray data = m_socket->GetData();
                m_stream.append(std::string_view(data.constData(), std::size_t(data.size())));
                handStream();
            }
        } catch (const std::exception& failure) {
            reportFailure(failure);
        }
    }
    if (const std::uint64_t dropped = m_nesting.takeTurnedAway())
        emit logLine(fromStd(nuvok::droppedMessagesText(dropped, m_nesting.maxDepth())));
}

void KeyReceiver::hand(const QByteArray& data) {
    emit message(data);
}

// Every complete pair in order; stops when a handler ended the connection.
void KeyReceiver::handStream() {
    const quint64 connection = m_connection;
    while (connection == m_connection) {
        const std::optional<std::string> next = m_stream.next();
        if (!next)
            break;
        hand(QByteArray(next->data(), qsizetype(next->size())));
    }
}

// The peer has gone: what it sent last is handed on, an odd byte alone; the
// listener stays closed until the next open.
void KeyReceiver::onPeerClosed() {
    try {
        const QByteArray data = m_socket->GetData();
        m_stream.append(std::string_view(data.constData(), std::size_t(data.size())));
    } catch (const std::exception&) {
        // nothing more to read
    }
    const quint64 connection = m_connection;
    handStream();
    if (connection != m_connection)
        return;
    const std::string rest = m_stream.takeRest();
    if (!rest.empty())
        hand(QByteArray(rest.data(), qsizetype(rest.size())));
    if (connection == m_connection)
        close();
}

// Called from inside the socket's own reading: counts and at most logs, so
// that a flood costs next to nothing and reaches neither the interpreter nor
// the speaker.
void KeyReceiver::senderRefused(const QHostAddress& sender) {
    const std::string line =
        m_dropTally.record(sender.toString().toStdString(), m_dropClock.elapsed());
    if (!line.empty())
        emit logLine(fromStd(line));
    if (m_dropTally.busy() && !m_dropTimer->isActive())
        m_dropTimer->start();
}

void KeyReceiver::reportDrops() {
    for (const std::string& line : m_dropTally.due(m_dropClock.elapsed()))
        emit logLine(fromStd(line));
    if (!m_dropTally.busy())
        m_dropTimer->stop();
}
