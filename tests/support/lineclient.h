#pragma once

// A client of a line-based server, over a local socket or TCP on 127.0.0.1,
// that keeps everything it reads, to check what an infrared daemon (or its
// stand-in) sends.

#include "support/eventwait.h"

#include <QLocalSocket>
#include <QTcpSocket>
#include <functional>
#include <memory>

namespace nuvok::test {

class LineClient {
public:
    ~LineClient() {
        m_device->disconnect(&m_owner);
        delete m_device;
    }
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    static std::unique_ptr<LineClient> overSocket(const QString& path) {
        auto client = std::unique_ptr<LineClient>(new LineClient);
        auto* socket = new QLocalSocket(&client->m_owner);
        client->m_device = socket;
        client->m_connected = [socket] { return socket->state() == QLocalSocket::ConnectedState; };
        client->m_error = [socket] { return socket->errorString(); };
        QObject::connect(socket, &QLocalSocket::disconnected, &client->m_owner,
                         [c = client.get()] { c->m_ended = true; });
        QObject::connect(socket, &QLocalSocket::errorOccurred, &client->m_owner,
                         [c = client.get()](QLocalSocket::LocalSocketError error) {
                             c->m_failed = true;
                             c->m_localError = error;
                         });
        client->listen();
        socket->connectToServer(path);
        return client;
    }

    static std::unique_ptr<LineClient> overTcp(quint16 port) {
        auto client = std::unique_ptr<LineClient>(new LineClient);
        auto* socket = new QTcpSocket(&client->m_owner);
        client->m_device = socket;
        client->m_connected = [socket] {
            return socket->state() == QAbstractSocket::ConnectedState;
        };
        client->m_error = [socket] { return socket->errorString(); };
        QObject::connect(socket, &QTcpSocket::disconnected, &client->m_owner,
                         [c = client.get()] { c->m_ended = true; });
        QObject::connect(socket, &QTcpSocket::errorOccurred, &client->m_owner,
                         [c = client.get()](QAbstractSocket::SocketError error) {
                             c->m_failed = true;
                             c->m_tcpError = error;
                         });
        client->listen();
        socket->connectToHost(QHostAddress::LocalHost, port);
        return client;
    }

    // Waits until the connection is made, or has failed (false).
    bool waitForConnected(int timeoutMs = 10000) const {
        return waitUntil([&] { return m_connected() || m_failed; }, timeoutMs) && m_connected();
    }
    // Waits until the connection has ended, or failed to be made.
    bool waitForEnd(int timeoutMs = 10000) const {
        return waitUntil([&] { return m_ended || (m_failed && !m_connected()); }, timeoutMs);
    }
    bool waitForLines(qsizetype count, int timeoutMs = 10000) const {
        return waitUntil([&] { return lines().size() >= count; }, timeoutMs);
    }

    // Everything read so far, and its complete lines without their "\n".
    QByteArray received() const { return m_received; }
    QList<QByteArray> lines() const {
        QList<QByteArray> complete = m_received.split('\n');
        complete.removeLast(); // the unfinished rest
        return complete;
    }
    QString errorString() const { return m_error(); }
    QLocalSocket::LocalSocketError localError() const { return m_localError; }
    QAbstractSocket::SocketError tcpError() const { return m_tcpError; }

private:
    LineClient() = default;
    void listen() {
        QObject::connect(m_device, &QIODevice::readyRead, &m_owner,
                         [this] { m_received += m_device->readAll(); });
    }

    QObject m_owner; // owns the socket and the connections to it
    QIODevice* m_device = nullptr;
    std::function<bool()> m_connected;
    std::function<QString()> m_error;
    QByteArray m_received;
    bool m_ended = false;
    bool m_failed = false;
    QLocalSocket::LocalSocketError m_localError = QLocalSocket::UnknownSocketError;
    QAbstractSocket::SocketError m_tcpError = QAbstractSocket::UnknownSocketError;
};

} // namespace nuvok::test
