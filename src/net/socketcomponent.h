#pragma once

#include <deque>
#include <functional>
#include <memory>

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpServer;
class QTcpSocket;
class QUdpSocket;

// An event-driven socket that takes what comes in: TCP listen and accept,
// UDP bind, receive and close, with numbered states (those of connecting
// stay in the numbering; the controller link has a socket of its own). Methods return at once and
// throw nuvok::Failure with a readable description when they cannot be carried out.
//
// Events are never emitted from inside a Qt socket signal: each is posted and
// delivered by the event loop, so a handler that processed events would
// receive the next arrival nested inside it (the receive path bounds that
// nesting should a handler ever do so). Qt itself emits readyRead neither
// recursively nor, for UDP, before the pending datagram has been read.
class SocketComponent : public QObject {
    Q_OBJECT

public:
    enum ProtocolKind { sckTCPProtocol = 0, sckUDPProtocol = 1 };
    enum StateNumber {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnectionPending = 3,
        sckResolvingHost = 4,
        sckHostResolved = 5,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,
        sckError = 9,
    };

    explicit SocketComponent(QObject* parent = nullptr);
    ~SocketComponent() override;

    int Protocol() const { return m_protocol; }
    void setProtocol(int protocol);
    int LocalPort() const { return m_localPort; }
    void setLocalPort(int port) { m_localPort = port; }
    QString RemoteHost() const { return m_remoteHost; }
    QString RemoteHostIP() const { return m_remoteHostIP; }
    int RemotePort() const { return m_remotePort; }
    int State() const { return m_state; }
    // Port actually bound or listened on (differs from LocalPort for port 0).
    int boundPort() const;

    void Close();
    void Listen();
    void Bind();
    void Accept(int requestID);
    // Serving one peer with the listener kept open: takes over a pending
    // connection as the peer served (state 7) while the listener goes on
    // taking requests, so that the handset can always come back. A peer
    // already served is dropped for the new one. Needs an open listener.
    void Serve(int requestID);
    // Drops the peer served; the listener goes on (state 2). The peer's
    // address stays as it was.
    void EndPeer();
    // Takes in, without waiting, what the system already holds of the peer's
    // connection: data it sent, and its close. Its events then follow.
    void catchUpWithPeer();
    // Where a pending request comes from; null when it is no longer pending.
    QHostAddress requestAddress(int requestID) const;
    // The system's socket of the connection to the peer, -1 without one.
    qintptr peerDescriptor() const;
    // For TCP at most maxBytes (all without a bound); what is left comes as
    // a further arrival, so that a huge write is read a share per turn.
    QByteArray GetData(qint64 maxBytes = -1);
    // Who sent what GetData returned last: the datagram's sender (an IPv4
    // address as such), or the peer of the connection; null before any data.
    const QHostAddress& lastSender() const { return m_lastSender; }
    qint64 bytesPending() const;

public:
    // Decides who may send: datagrams and connection requests from a sender
    // it refuses are thrown away before anyone hears of them, and rejected
    // is told the sender (an IPv4 address as such, not as IPv6). Stays in
    // force across Close; an empty admit lets everybody in.
    using SenderCheck = std::function<bool(const QHostAddress&)>;
    void setSenderFilter(SenderCheck admit, std::function<void(const QHostAddress&)> rejected);

    // Datagrams thrown away because the inbox was full (a flood nobody reads).
    quint64 droppedDatagrams() const { return m_droppedDatagrams; }

    // What one turn of the event loop takes from the system at most: the
    // rest waits for the next turn, so that timers and other sockets are
    // served in between however much a peer sends.
    static constexpr int kDatagramsPerTurn = 256;
    // What the system's connection hands over at most before it is read: the
    // sender of a huge write is held back by TCP itself.
    static constexpr qint64 kTcpReadBuffer = 64 * 1024;

signals:
    void DataArrival(int bytesTotal);
    // Datagrams the full inbox dropped, once per burst (at most once a second).
    void DatagramsDropped(quint64 count);
    void ConnectionRequest(int requestID);
    void CloseEvent(); // the TCP peer has closed

private:
    class PendingConnections;

    // Runs `step` from the event loop once the current handler has returned,
    // unless the component was closed or opened again meanwhile (or, for an
    // event of the peer's connection, that connection was dropped); `anyway`
    // runs after it in either case.
    enum class PostFor { Component, Peer };
    void post(std::function<void()> step, std::function<void()> anyway = {},
              PostFor owner = PostFor::Peer);
    void adoptTcp(QTcpSocket* socket);
    void scheduleArrival();
    void deliverArrival();
    void takeDatagrams();
    void dropDatagram();
    void onNewConnection();
    void onPeerClosed();
    void onSocketError();
    void releaseTcp();
    void takePeer(QTcpSocket* socket);
    void requireClosed(const char* operation) const;
    // `action` is the start of the failure text, followed by the port.
    void requireLocalPort(const char* action) const;

    bool admits(const QHostAddress& sender);

    SenderCheck m_admit;
    std::function<void(const QHostAddress&)> m_rejected;
    int m_protocol = sckTCPProtocol;
    int m_localPort = 0;
    QString m_remoteHost;
    QString m_remoteHostIP;
    int m_remotePort = 0;
    int m_state = sckClosed;

    QTcpServer* m_server = nullptr;
    QTcpSocket* m_tcp = nullptr;
    QUdpSocket* m_udp = nullptr;
    // Connections taken from the listener and waiting for Accept.
    std::unique_ptr<PendingConnections> m_pending;
    // Bumped by Close so that events posted for an earlier socket are dropped.
    quint64 m_generation = 0;
    // Bumped when the peer's connection goes while the listener stays, so
    // that its events are dropped but the listener's requests are not.
    quint64 m_peerGeneration = 0;
    bool m_serving = false;     // the peer was taken by Serve
    bool m_closePosted = false; // the peer's close is on its way
    bool m_arrivalPosted = false;
    // Datagrams are taken from the socket as soon as they are announced: a
    // datagram left unread after its announcement can silence the socket for
    // good. Each one is then delivered as an arrival of its own.
    struct Datagram {
        QByteArray data;
        QHostAddress sender;
    };
    std::deque<Datagram> m_datagrams;
    QHostAddress m_lastSender;
    qint64 m_datagramBytes = 0;
    quint64 m_droppedDatagrams = 0;
    quint64 m_dropsUnreported = 0;
    bool m_dropReportDue = false;
    QByteArray m_readBuffer; // one datagram as the system hands it over
};
