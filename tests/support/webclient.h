#pragma once

// One connection to the web remote on 127.0.0.1, speaking as the page's
// browser does: a request's head by hand, the WebSocket's upgrade, masked
// text frames out and the server's short frames in.

#include "support/eventwait.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <utility>

namespace nuvok::test {

struct WebClient {
    // waitMs: how long an answer or a message may take.
    explicit WebClient(quint16 port, int waitMs = 3000) : port(port), waitMs(waitMs) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(waitMs);
    }
    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // The answer's head to a request of these lines.
    QByteArray request(const QByteArray& lines) {
        socket.write(lines + "\r\n");
        waitUntil([&] { return buffer().contains("\r\n\r\n") || closed(); }, waitMs);
        return m_buffer.left(m_buffer.indexOf("\r\n\r\n") + 4);
    }
    bool open(const QString& origin = {}) {
        const QByteArray head =
            request("GET /ws HTTP/1.1\r\nHost: " + host().toLatin1() +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: " +
                    (origin.isEmpty() ? "http://" + host() : origin).toLatin1() + "\r\n");
        m_buffer.remove(0, head.size());
        return head.startsWith("HTTP/1.1 101");
    }
    void send(const QJsonObject& message) {
        const QByteArray data = QJsonDocument(message).toJson(QJsonDocument::Compact);
        QByteArray frame("\x81", 1);
        frame += char(0x80 | data.size());
        frame += QByteArray(4, '\x5a');
        for (char c : data)
            frame += char(c ^ 0x5a);
        socket.write(frame);
    }
    // The next text message; or {"close": code}.
    QJsonObject next() {
        waitUntil([&] { return complete() || closed(); }, waitMs);
        if (!complete())
            return {};
        const auto [head, length] = frameSize();
        const QByteArray payload = m_buffer.mid(head, length);
        const int opcode = quint8(m_buffer[0]) & 0x0f;
        m_buffer.remove(0, head + length);
        if (opcode == 8)
            return {{QStringLiteral("close"), (quint8(payload[0]) << 8) | quint8(payload[1])}};
        if (opcode != 1)
            return next();
        return QJsonDocument::fromJson(payload).object();
    }
    // The code the server closed with, past the messages before it; 0: none.
    int closeCode() {
        for (QJsonObject message = next(); !message.isEmpty(); message = next())
            if (message.contains(QStringLiteral("close")))
                return message.value(QStringLiteral("close")).toInt();
        return 0;
    }
    bool closed() { return socket.state() == QAbstractSocket::UnconnectedState; }
    const QByteArray& buffer() {
        m_buffer += socket.readAll();
        return m_buffer;
    }
    // The server's frames are short: a head of 2 or 4 bytes.
    std::pair<int, int> frameSize() const {
        const int length = quint8(m_buffer[1]) & 0x7f;
        if (length < 126)
            return {2, length};
        return {4,
                m_buffer.size() < 4 ? 1 << 20 : (quint8(m_buffer[2]) << 8) | quint8(m_buffer[3])};
    }
    bool complete() {
        if (buffer().size() < 2)
            return false;
        const auto [head, length] = frameSize();
        return m_buffer.size() >= head + length;
    }

    quint16 port;
    int waitMs;
    QTcpSocket socket;
    QByteArray m_buffer;
};

} // namespace nuvok::test
