#pragma once

#include "web/wsframes.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// One WebSocket of the page, once its handshake is answered: text messages
// in and out over the TCP connection. Read a bounded share per turn of the
// event loop; a peer that goes silent (a phone switched off) is let go after
// a while without an answer to the pings.
class WebSocketLink : public QObject {
    Q_OBJECT

public:
    struct Limits {
        std::size_t maxMessage = 1024; // larger messages end the connection
        int pingMs = 30000;
        int silentMs = 75000;
    };
    // Takes the socket over; `early` are bytes that came after the handshake.
    WebSocketLink(QTcpSocket* socket, Limits limits, const QByteArray& early, QObject* parent);

    void sendText(const QByteArray& utf8);
    // Says goodbye with the code, and lets go of the connection soon after.
    void close(int code);
    void abort();

    QHostAddress peerAddress() const { return m_address; }
    quint16 peerPort() const { return m_port; }

signals:
    void textReceived(const QString& text);
    // A message that is not text, or one the connection ended for.
    void refused(const QString& why);
    void disconnected();

private:
    void read();
    void take(const QByteArray& bytes);
    void write(const std::string& bytes);

    QTcpSocket* m_socket;
    nuvok::ws::FrameReader m_reader;
    Limits m_limits;
    QTimer* m_ping;
    QTimer* m_silence;
    QHostAddress m_address;
    quint16 m_port = 0;
    bool m_closing = false;
    bool m_gone = false;
};
