#include "net/socketcomponent.h"

#include "common/failure.h"
#include "net/handsetlist.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <map>

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
    connect(socket, &QTcpSocket::disconnected, this, &SocketComponent::onPeerClosed);
    connect(socket, &QTcpSocket::errorOccurred, this, &SocketComponent::onSocketError);
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
