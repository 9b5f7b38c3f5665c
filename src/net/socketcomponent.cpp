#include "net/socketcomponent.h"

#include "common/failure.h"
#include "net/handsetlist.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <map>
#include <optional>
#include <utility>

using nuvok::Failure;

// Connections taken from a listener and waiting for Accept, by request id.
// They outlive the listener: the usual handler closes the listener first and
// then accepts the request on the same component.
class SocketComponent::PendingConnections {
public:
    PendingConnections() = default;
    PendingConnections(const PendingConnections&) = delete;
    PendingConnections& operator=(const PendingConnections&) = delete;
    ~PendingConnections() {
        for (const auto& [id, socket] : m_sockets) {
            socket->abort();
            delete socket;
        }
    }
    int add(QTcpSocket* socket) {
        const int id = ++m_lastId > 0 ? m_lastId : (m_lastId = 1);
        m_sockets[id] = socket;
        return id;
    }
    const QTcpSocket* find(int id) const {
        const auto it = m_sockets.find(id);
        return it == m_sockets.end() ? nullptr : it->second;
    }
    QTcpSocket* take(int id) {
        auto it = m_sockets.find(id);
        if (it == m_sockets.end())
            return nullptr;
        QTcpSocket* socket = it->second;
        m_sockets.erase(it);
        return socket;
    }
    // A request nobody accepted is refused, so it holds no resources.
    void drop(int id) {
        if (QTcpSocket* socket = take(id)) {
            socket->abort();
            socket->deleteLater();
        }
    }

private:
    std::map<int, QTcpSocket*> m_sockets;
    int m_lastId = 0;
};

namespace {

QString describe(const QString& what, const QString& why) {
    return what + ": " + why;
}

QHostAddress plainAddress(const QHostAddress& address) {
    return plainHostAddress(address);
}

} // namespace

SocketComponent::SocketComponent(QObject* parent)
    : QObject(parent), m_pending(std::make_unique<PendingConnections>()) {}

SocketComponent::~SocketComponent() {
    Close();
}

void SocketComponent::setProtocol(int protocol) {
    requireClosed("Setting the protocol");
    if (protocol != sckTCPProtocol && protocol != sckUDPProtocol)
        throw Failure("Invalid protocol " + std::to_string(protocol) + " (0 is TCP, 1 is UDP)");
    m_protocol = protocol;
}

int SocketComponent::boundPort() const {
    if (m_server)
        return m_server->serverPort();
    if (m_udp)
        return m_udp->localPort();
    if (m_tcp)
        return m_tcp->localPort();
    return 0;
}

void SocketComponent::requireClosed(const char* operation) const {
    if (m_state != sckClosed)
        throw Failure(std::string(operation) + " needs a closed socket (the socket is in state " +
                      std::to_string(m_state) + ")");
}

void SocketComponent::Close() {
    ++m_generation;
    ++m_peerGeneration;
    m_arrivalPosted = false;
    m_serving = false;
    m_datagrams.clear();
    m_datagramBytes = 0;
    if (m_server) {
        m_server->close();
        // Connections the system accepted but nobody asked for yet are refused.
        while (QTcpSocket* socket = m_server->nextPendingConnection()) {
            socket->abort();
            socket->deleteLater();
        }
        m_server->deleteLater();
        m_server = nullptr;
    }
    if (m_udp) {
        m_udp->disconnect(this);
        m_udp->close();
        m_udp->deleteLater();
        m_udp = nullptr;
    }
    releaseTcp();
    m_state = sckClosed;
}

void SocketComponent::releaseTcp() {
    if (!m_tcp)
        return;
    QTcpSocket* socket = m_tcp;
    m_tcp = nullptr;
    socket->disconnect(this);
    if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() > 0) {
        // Let queued bytes leave before the connection closes, so that a send
        // followed at once by Close loses nothing; give up after a while.
        QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(10000, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
    } else {
        socket->abort();
        socket->deleteLater();
    }
}

void SocketComponent::requireLocalPort(const char* action) const {
    if (m_localPort < 0 || m_localPort > 65535)
        throw Failure(action + std::to_string(m_localPort) +
                      ": a port number runs from 0 to 65535");
}

void SocketComponent::Listen() {
    requireClosed("Listen");
    if (m_protocol != sckTCPProtocol)
        throw Failure("Listen needs the TCP protocol; a UDP socket is opened with Bind");
    requireLocalPort("Cannot listen on port ");
    auto* server = new QTcpServer(this);
    // IPv4, as the handset speaks it (see Bind).
    if (!server->listen(QHostAddress::AnyIPv4, static_cast<quint16>(m_localPort))) {
        const QString why = server->errorString();
        delete server;
        throw Failure(describe(QStringLiteral("Cannot listen on TCP port %1").arg(m_localPort), why)
                          .toStdString());
    }
    m_server = server;
    connect(server, &QTcpServer::newConnection, this, &SocketComponent::onNewConnection);
    m_state = sckListening;
}

void SocketComponent::Bind() {
    requireClosed("Bind");
    if (m_protocol != sckUDPProtocol)
        throw Failure("Bind needs the UDP protocol; a TCP socket is opened with Listen");
    requireLocalPort("Cannot open UDP port ");
    auto* udp = new QUdpSocket(this);
    const auto port = static_cast<quint16>(m_localPort);
    // IPv4 only: a dual-stack bind that meets a taken IPv4 port quietly falls
    // back to IPv6 alone, where the handset's datagrams never arrive. No
    // sharing either: a second program on the port must fail, not steal keys.
    if (!udp->bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress)) {
        const QString why = udp->errorString();
        delete udp;
        throw Failure(describe(QStringLiteral("Cannot open UDP port %1").arg(m_localPort), why)
                          .toStdString());
    }
    m_udp = udp;
    connect(udp, &QUdpSocket::readyRead, this, &SocketComponent::takeDatagrams);
    m_state = sckOpen;
    takeDatagrams();
}

void SocketComponent::setSenderFilter(SenderCheck admit,
                                      std::function<void(const QHostAddress&)> rejected) {
    m_admit = std::move(admit);
    m_rejected = std::move(rejected);
}

bool SocketComponent::admits(const QHostAddress& sender) {
    if (!m_admit)
        return true;
    const QHostAddress plain = plainAddress(sender);
    if (m_admit(plain))
        return true;
    if (m_rejected)
        m_rejected(plain);
    return false;
}

void SocketComponent::onNewConnection() {
    if (!m_server)
        return;
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (!admits(socket->peerAddress())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setParent(nullptr);
        socket->setReadBufferSize(kTcpReadBuffer);
        const int id = m_pending->add(socket);
        post([this, id] { emit ConnectionRequest(id); }, [this, id] { m_pending->drop(id); },
             PostFor::Component);
    }
}

void SocketComponent::Accept(int requestID) {
    requireClosed("Accept");
    QTcpSocket* socket = m_pending->take(requestID);
    if (!socket)
        throw Failure("Cannot accept connection request " + std::to_string(requestID) +
                      ": the request is no longer pending");
    m_protocol = sckTCPProtocol;
    takePeer(socket);
}

void SocketComponent::Serve(int requestID) {
    if (!m_server)
        throw Failure("Cannot serve connection request " + std::to_string(requestID) +
                      ": the socket is not listening (state " + std::to_string(m_state) + ")");
    QTcpSocket* socket = m_pending->take(requestID);
    if (!socket)
        throw Failure("Cannot serve connection request " + std::to_string(requestID) +
                      ": the request is no longer pending");
    EndPeer();
    m_serving = true;
    takePeer(socket);
}

void SocketComponent::EndPeer() {
    ++m_peerGeneration;
    m_arrivalPosted = false;
    m_serving = false;
    releaseTcp();
    m_state = m_server ? sckListening : sckClosed;
}

void SocketComponent::catchUpWithPeer() {
    // Each look reads all the system holds; a few are plenty for key messages.
    for (int look = 0; look < 4 && m_tcp && m_tcp->waitForReadyRead(0); ++look) {
    }
}

QHostAddress SocketComponent::requestAddress(int requestID) const {
    const QTcpSocket* socket = m_pending->find(requestID);
    return socket ? plainAddress(socket->peerAddress()) : QHostAddress();
}

qintptr SocketComponent::peerDescriptor() const {
    return m_tcp ? m_tcp->socketDescriptor() : -1;
}

void SocketComponent::takePeer(QTcpSocket* socket) {
    adoptTcp(socket);
    const QHostAddress peer = plainAddress(socket->peerAddress());
    m_remoteHostIP = peer.toString();
    m_remoteHost = peer.isLoopback() ? QStringLiteral("localhost") : m_remoteHostIP;
    m_remotePort = socket->peerPort();
    m_state = sckConnected;
    if (socket->bytesAvailable() > 0)
        scheduleArrival();
    // The peer left before we took it: deliver what it sent, then its close.
    if (socket->state() != QAbstractSocket::ConnectedState)
        onPeerClosed();
}

void SocketComponent::adoptTcp(QTcpSocket* socket) {
    socket->setParent(this);
    socket->setReadBufferSize(kTcpReadBuffer);
    m_tcp = socket;
    m_closePosted = false;
    connect(socket, &QTcpSocket::readyRead, this, &SocketComponent::scheduleArrival);
    connect(socket, &QTcpSocket::connected, this, &SocketComponent::onConnected);
    connect(socket, &QTcpSocket::disconnected, this, &SocketComponent::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketComponent::onSocketError);
    connect(socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::HostLookupState)
            m_state = sckResolvingHost;
        else if (state == QAbstractSocket::ConnectingState)
            m_state = sckConnecting;
    });
}

void SocketComponent::Connect(const QString& host, int port) {
    requireClosed("Connect");
    if (m_protocol != sckTCPProtocol)
        throw Failure("Connect needs the TCP protocol");
    if (host.trimmed().isEmpty())
        throw Failure("Cannot connect: no host name or address was given");
    if (port <= 0 || port > 65535)
        throw Failure("Cannot connect to " + host.toStdString() + " on port " +
                      std::to_string(port) + ": a port number runs from 1 to 65535");
    m_remoteHost = host;
    m_remotePort = port;
    m_remoteHostIP.clear();
    adoptTcp(new QTcpSocket(this));
    m_state = QHostAddress(host).isNull() ? sckResolvingHost : sckConnecting;
    m_tcp->connectToHost(host, static_cast<quint16>(port));
}

void SocketComponent::onConnected() {
    if (!m_tcp)
        return;
    m_state = sckConnected;
    m_remoteHostIP = plainAddress(m_tcp->peerAddress()).toString();
    post([this] { emit ConnectEvent(); });
}

void SocketComponent::onPeerClosed() {
    if (m_state != sckConnected && m_state != sckClosing)
        return;
    m_state = sckClosing;
    if (m_closePosted)
        return;
    m_closePosted = true;
    post([this] { emit CloseEvent(); });
}

// A served peer whose connection failed (reset, or silent past the keep-alive
// probes) has gone as surely as one that closed: it is reported the same way,
// so that its place is given up.
void SocketComponent::onSocketError() {
    if (!m_tcp)
        return;
    if (m_serving) {
        // A look without waiting that found nothing is no failure.
        if (m_tcp->error() != QAbstractSocket::SocketTimeoutError)
            onPeerClosed();
        return;
    }
    if (m_tcp->error() == QAbstractSocket::RemoteHostClosedError && m_state == sckConnected)
        return; // reported through the close event
    if (m_state != sckClosing)
        m_state = sckError;
}

void SocketComponent::SendData(const QByteArray& data) {
    if (m_protocol == sckUDPProtocol) {
        if (!m_udp || m_remoteHost.isEmpty() || m_remotePort <= 0)
            throw Failure("Cannot send: the UDP socket is not open or has no destination");
        if (m_udp->writeDatagram(data, QHostAddress(m_remoteHost),
                                 static_cast<quint16>(m_remotePort)) < 0)
            throw Failure("Cannot send: " + m_udp->errorString().toStdString());
        return;
    }
    if (!m_tcp || m_state != sckConnected)
        throw Failure("Cannot send: the socket is not connected (state " + std::to_string(m_state) +
                      ")");
    if (m_tcp->write(data) < 0)
        throw Failure("Cannot send: " + m_tcp->errorString().toStdString());
}

qint64 SocketComponent::bytesPending() const {
    if (m_udp)
        return m_datagrams.empty() ? 0 : m_datagrams.front().data.size();
    if (m_tcp)
        return m_tcp->bytesAvailable();
    return 0;
}

QByteArray SocketComponent::GetData(qint64 maxBytes) {
    if (m_udp) {
        if (m_datagrams.empty())
            return {};
        QByteArray data = std::move(m_datagrams.front().data);
        m_lastSender = m_datagrams.front().sender;
        m_datagrams.pop_front();
        m_datagramBytes -= data.size();
        if (!m_datagrams.empty())
            scheduleArrival();
        return data;
    }
    if (m_tcp) {
        m_lastSender = QHostAddress(m_remoteHostIP); // kept after the peer has gone
        if (maxBytes < 0)
            return m_tcp->readAll();
        QByteArray data = m_tcp->read(maxBytes);
        if (m_tcp->bytesAvailable() > 0)
            scheduleArrival();
        return data;
    }
    throw Failure("Cannot read: the socket is not open");
}

// A share of what the system holds; the socket announces the rest on the
// next turn (each read asks it to). Reading only when it announces keeps
// the announcement and the reads in step: an announcement that finds
// nothing to read would silence the socket for good. A datagram from a
// sender the filter refuses costs one read and no copy.
void SocketComponent::takeDatagrams() {
    // Enough for minutes of key presses; beyond that it is a flood, and the
    // newest datagrams give way so that memory stays bounded.
    constexpr std::size_t kMaxDatagrams = 4096;
    constexpr qint64 kMaxBytes = 1 << 20;
    constexpr qint64 kLargestDatagram = 65536;
    if (m_readBuffer.size() < kLargestDatagram)
        m_readBuffer.resize(kLargestDatagram);
    QHostAddress sender;
    for (int taken = 0; taken < kDatagramsPerTurn && m_udp && m_udp->hasPendingDatagrams();
         ++taken) {
        const qint64 size = m_udp->readDatagram(m_readBuffer.data(), kLargestDatagram, &sender);
        if (size < 0)
            break;
        if (!admits(sender))
            continue; // before the inbox, so a flood cannot crowd out a handset
        if (m_datagrams.size() >= kMaxDatagrams || m_datagramBytes + size > kMaxBytes) {
            dropDatagram();
            continue;
        }
        m_datagramBytes += size;
        m_datagrams.push_back({QByteArray(m_readBuffer.constData(), size), plainAddress(sender)});
    }
    if (!m_datagrams.empty())
        scheduleArrival();
}

// A burst of drops is told once, a second after its first drop.
void SocketComponent::dropDatagram() {
    ++m_droppedDatagrams;
    ++m_dropsUnreported;
    if (m_dropReportDue)
        return;
    m_dropReportDue = true;
    QTimer::singleShot(1000, this, [this] {
        m_dropReportDue = false;
        emit DatagramsDropped(std::exchange(m_dropsUnreported, 0));
    });
}

void SocketComponent::scheduleArrival() {
    if (m_arrivalPosted)
        return;
    m_arrivalPosted = true;
    post([this] { deliverArrival(); });
}

void SocketComponent::post(std::function<void()> step, std::function<void()> anyway,
                           PostFor owner) {
    const quint64 generation = m_generation;
    const std::optional<quint64> peerGeneration =
        owner == PostFor::Peer ? std::optional(m_peerGeneration) : std::nullopt;
    QMetaObject::invokeMethod(
        this,
        [this, generation, peerGeneration, step = std::move(step), anyway = std::move(anyway)] {
            if (generation == m_generation &&
                (!peerGeneration || *peerGeneration == m_peerGeneration))
                step();
            if (anyway)
                anyway();
        },
        Qt::QueuedConnection);
}

void SocketComponent::deliverArrival() {
    m_arrivalPosted = false;
    const qint64 pending = bytesPending();
    // An empty datagram is an arrival of its own; empty TCP data is none.
    const bool arrived = m_udp ? !m_datagrams.empty() : pending > 0;
    if (!arrived)
        return;
    emit DataArrival(static_cast<int>(qMin<qint64>(pending, INT_MAX)));
}
