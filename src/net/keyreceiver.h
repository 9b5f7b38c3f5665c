#pragma once

#include "net/handsetlist.h"
#include "net/socketcomponent.h"
#include "remote/droptally.h"
#include "remote/keymessage.h"
#include "remote/nestinglimit.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

class QTimer;

// The receive path: the listener socket (a bound UDP socket, or a TCP
// listener that serves one peer at a time), the key messages it carries, and
// who may send them.
//
// Each UDP datagram is one message as it stands, whatever its length. A TCP
// connection is a stream of two-byte messages that the network cuts where it
// likes: every complete pair is handed on in order, and an odd last byte
// waits for its partner on the same connection (when the peer leaves first,
// it was a key cut short, and is dropped with a line). Senders outside the
// handset list are dropped before anyone hears of them and summed up in the
// log.
//
// The TCP listener never stops while it is open: when the peer leaves, the
// next one is served at once. A new connection from the address being served
// is its handset come back (after a restart, or a connection that died without
// a close): it takes over. Anyone else waits until the peer has gone, so that
// another allowed host cannot push the handset off.
class KeyReceiver : public QObject {
    Q_OBJECT

public:
    explicit KeyReceiver(nuvok::DropTiming dropTiming = {}, QObject* parent = nullptr);

    // Closes, then listens on the port: by TCP (protocol 0) or UDP (1).
    // Throws nuvok::Failure when the port cannot be opened.
    void open(int port, int protocol);
    // Closes the listener or the connection to the peer; nothing comes in
    // until the next open.
    void close();
    // The listener's state, port, protocol and peer.
    const SocketComponent& socket() const { return *m_socket; }

    void setHandsets(const HandsetList& handsets) { m_handsets = handsets; }
    const HandsetList& handsets() const { return m_handsets; }
    // The sender of the last message that came or was refused; null: none yet.
    QHostAddress lastHeard() const { return m_lastHeard; }

signals:
    // One key message, to be handled as it stands (decoding may fail), and
    // who sent it: the datagram's sender, or the peer of the TCP connection.
    void message(const QByteArray& data, const QHostAddress& sender, bool overTcp);
    // A TCP peer was accepted; the socket shows its address.
    void peerAccepted();
    // A line for the log: senders outside the handset list, messages turned
    // away, a connection that could not be taken.
    void logLine(const QString& line);

private:
    void onConnectionRequest(int requestID);
    void onDataArrival();
    void onPeerClosed();
    void takeTurn();
    bool takeLastOfPeer();
    void refuseWhileServing(const QHostAddress& from);
    void watchPeer();
    void hand(const QByteArray& data);
    void handStream();
    void senderRefused(const QHostAddress& sender);
    void reportDrops();
    void reportFailure(const std::exception& failure);

    SocketComponent* m_socket;
    HandsetList m_handsets; // everybody until told otherwise
    QHostAddress m_lastHeard;
    nuvok::KeyMessageStream m_stream;
    // Addresses refused while this peer is served, each logged once: a few,
    // so that a host that keeps trying cannot grow the list or the log.
    QStringList m_refusedWhileServing;
    quint64 m_connection = 0; // bumped whenever the stream's connection ends
    nuvok::DropTally m_dropTally;
    QElapsedTimer m_dropClock;
    QTimer* m_dropTimer; // runs while the tally has bursts to sum up
    // Messages handled inside the handling of earlier ones, at most this deep.
    nuvok::NestingLimit m_nesting{32};
};
