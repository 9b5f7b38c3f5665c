#include "net/keyreceiver.h"

#include "common/failure.h"
#include "net/keepalive.h"

#include <QTimer>
#include <algorithm>

namespace {

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

// Refused addresses logged while one peer is served.
constexpr qsizetype kRefusalsLogged = 8;

// Key messages of a TCP peer handed on in one turn of the event loop, at most.
constexpr qint64 kKeysPerTurn = 256;
constexpr qint64 kBytesPerTurn = 2 * kKeysPerTurn;

QString droppedKeysLine(quint64 count) {
    return QStringLiteral("%1 key message%2 dropped: they came faster than they can be handled")
        .arg(count)
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

KeyReceiver::KeyReceiver(nuvok::DropTiming dropTiming, QObject* parent)
    : QObject(parent), m_socket(new SocketComponent(this)), m_dropTally(dropTiming),
      m_dropTimer(new QTimer(this)) {
    connect(m_socket, &SocketComponent::DataArrival, this, &KeyReceiver::onDataArrival);
    connect(m_socket, &SocketComponent::ConnectionRequest, this, &KeyReceiver::onConnectionRequest);
    connect(m_socket, &SocketComponent::CloseEvent, this, &KeyReceiver::onPeerClosed);
    connect(m_socket, &SocketComponent::DatagramsDropped, this,
            [this](quint64 count) { emit logLine(droppedKeysLine(count)); });
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
    m_refusedWhileServing.clear();
    ++m_connection;
}

void KeyReceiver::reportFailure(const std::exception& failure) {
    if (const auto* described = dynamic_cast<const nuvok::Failure*>(&failure))
        emit logLine(fromStd(described->description()));
    else
        emit logLine(QString::fromLocal8Bit(failure.what()));
}

// One peer at a time, and its handset may always come back.
void KeyReceiver::onConnectionRequest(int requestID) {
    try {
        // A peer that has closed has gone already, though its close may not
        // have been read yet: then its place is free.
        m_socket->catchUpWithPeer();
        if (m_socket->State() == SocketComponent::sckClosing)
            onPeerClosed();
        if (m_socket->State() == SocketComponent::sckConnected) {
            const QHostAddress from = m_socket->requestAddress(requestID);
            const QString peer = m_socket->RemoteHostIP();
            if (from.isNull())
                return;
            if (from.toString() != peer) {
                refuseWhileServing(from);
                return; // the request goes unanswered: the component refuses it
            }
            const quint64 connection = m_connection;
            const bool cutShort = takeLastOfPeer();
            if (connection != m_connection)
                return; // the listener was opened anew meanwhile
            m_socket->Serve(requestID);
            emit logLine(QStringLiteral("Handset %1 came back: its new connection takes over%2")
                             .arg(peer, cutShort ? QStringLiteral(", and the key cut short on "
                                                                  "the old one is dropped")
                                                 : QString()));
        } else {
            m_socket->Serve(requestID);
        }
    } catch (const std::exception& failure) {
        reportFailure(failure);
        return;
    }
    m_stream.clear();
    m_refusedWhileServing.clear();
    ++m_connection;
    watchPeer();
    emit peerAccepted();
}

void KeyReceiver::watchPeer() {
    const qintptr descriptor = m_socket->peerDescriptor();
    if (descriptor == -1 || m_socket->State() != SocketComponent::sckConnected)
        return; // gone before it was served: nothing to watch
    const std::string why = nuvok::watchConnection(descriptor);
    if (!why.empty())
        emit logLine(QStringLiteral("Handset %1 is served, but a loss of its network may go "
                                    "unnoticed: the system refused to watch the connection (%2)")
                         .arg(m_socket->RemoteHostIP(), fromStd(why)));
}

void KeyReceiver::refuseWhileServing(const QHostAddress& from) {
    const QString address = from.toString();
    if (m_refusedWhileServing.contains(address) || m_refusedWhileServing.size() >= kRefusalsLogged)
        return;
    m_refusedWhileServing << address;
    emit logLine(QStringLiteral("Refused a connection from %1: handset %2 is being served")
                     .arg(address, m_socket->RemoteHostIP()));
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
                takeTurn();
            }
        } catch (const std::exception& failure) {
            reportFailure(failure);
        }
    }
    if (const std::uint64_t dropped = m_nesting.takeTurnedAway())
        emit logLine(fromStd(nuvok::droppedMessagesText(dropped, m_nesting.maxDepth())));
}

void KeyReceiver::hand(const QByteArray& data) {
    m_lastHeard = m_socket->lastSender();
    emit message(data, m_socket->lastSender(),
                 m_socket->Protocol() == SocketComponent::sckTCPProtocol);
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

// One turn's share of the TCP stream: the component hands over the rest as
// a further arrival.
void KeyReceiver::takeTurn() {
    const QByteArray data = m_socket->GetData(kBytesPerTurn);
    m_stream.append(std::string_view(data.constData(), std::size_t(data.size())));
    handStream();
}

// Hands on the keys the served peer sent last, a turn's share: a handset has
// a key or two on its way, and more is a flood, which is dropped with a line.
// Returns whether it ended in the middle of a key: that byte is dropped, as
// it is no key.
bool KeyReceiver::takeLastOfPeer() {
    const quint64 connection = m_connection;
    try {
        takeTurn();
    } catch (const std::exception&) {
        // nothing more to read
    }
    if (connection != m_connection)
        return false;
    const qint64 left = m_socket->bytesPending() + qint64(m_stream.takeRest().size());
    if (left > 1)
        emit logLine(droppedKeysLine(quint64(left / 2)));
    return left % 2 == 1;
}

// The peer has gone: what it sent last is handed on, a turn's share at a
// time, and the listener, open all along, serves the next one.
void KeyReceiver::onPeerClosed() {
    const quint64 connection = m_connection;
    if (m_socket->bytesPending() > kBytesPerTurn) {
        takeTurn();
        if (connection == m_connection)
            QMetaObject::invokeMethod(
                this,
                [this, connection] {
                    if (connection == m_connection)
                        onPeerClosed();
                },
                Qt::QueuedConnection);
        return;
    }
    const bool cutShort = takeLastOfPeer();
    if (connection != m_connection)
        return;
    const QString peer = m_socket->RemoteHostIP();
    m_socket->EndPeer();
    m_stream.clear();
    m_refusedWhileServing.clear();
    ++m_connection;
    emit logLine(cutShort ? QStringLiteral("Handset %1 left in the middle of a key, which is "
                                           "dropped: listening for it again")
                                .arg(peer)
                          : QStringLiteral("Handset %1 left: listening for it again").arg(peer));
}

// Called from inside the socket's own reading: counts and at most logs, so
// that a flood costs next to nothing and reaches neither the interpreter nor
// the speaker.
void KeyReceiver::senderRefused(const QHostAddress& sender) {
    m_lastHeard = sender;
    const std::string line = m_dropTally.record(coreAddress(sender), m_dropClock.elapsed());
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
