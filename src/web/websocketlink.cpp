#include "web/websocketlink.h"

#include <QTcpSocket>
#include <QTimer>

namespace {

// Bytes and messages taken in one turn; the rest waits for the next.
constexpr qint64 kBytesPerTurn = 8192;
constexpr int kMessagesPerTurn = 64;
constexpr qint64 kUnreadBytes = 64 * 1024;

} // namespace

WebSocketLink::WebSocketLink(QTcpSocket* socket, Limits limits, const QByteArray& early,
                             QObject* parent)
    : QObject(parent), m_socket(socket), m_reader(limits.maxMessage), m_limits(limits),
      m_ping(new QTimer(this)), m_silence(new QTimer(this)), m_address(socket->peerAddress()),
      m_port(socket->peerPort()) {
    socket->setParent(this);
    socket->setReadBufferSize(kBytesPerTurn * 2);
    connect(socket, &QTcpSocket::readyRead, this, &WebSocketLink::read);
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (m_gone)
            return;
        m_gone = true;
        m_ping->stop();
        m_silence->stop();
        emit disconnected();
    });
    connect(m_ping, &QTimer::timeout, this,
            [this] { write(nuvok::ws::frame(nuvok::ws::Ping, {})); });
    m_ping->start(m_limits.pingMs);
    m_silence->setSingleShot(true);
    connect(m_silence, &QTimer::timeout, this, &WebSocketLink::abort);
    m_silence->start(m_limits.silentMs);
    if (!early.isEmpty())
        take(early);
    if (socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &WebSocketLink::read);
}

void WebSocketLink::write(const std::string& bytes) {
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    // A peer that reads nothing of what it is sent is let go before the
    // answers waiting for it grow without bound.
    if (m_socket->bytesToWrite() > kUnreadBytes) {
        emit refused(QStringLiteral("nothing of what it was sent read"));
        abort();
        return;
    }
    m_socket->write(bytes.data(), qint64(bytes.size()));
}

void WebSocketLink::sendText(const QByteArray& utf8) {
    if (!m_closing)
        write(nuvok::ws::frame(nuvok::ws::Text,
                               std::string_view(utf8.constData(), std::size_t(utf8.size()))));
}

void WebSocketLink::close(int code) {
    if (m_closing)
        return;
    m_closing = true;
    write(nuvok::ws::closeFrame(code));
    m_socket->disconnectFromHost();
    QTimer::singleShot(1000, this, &WebSocketLink::abort);
}

void WebSocketLink::abort() {
    m_closing = true;
    m_socket->abort(); // emits disconnected when it was connected
    if (!m_gone) {
        m_gone = true;
        emit disconnected();
    }
}

void WebSocketLink::read() {
    if (m_closing)
        return;
    take(m_socket->read(kBytesPerTurn));
    if (m_socket->bytesAvailable() > 0 && !m_closing)
        QTimer::singleShot(0, this, &WebSocketLink::read);
}

void WebSocketLink::take(const QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        m_silence->start(m_limits.silentMs);
        m_reader.append(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    for (int taken = 0; taken < kMessagesPerTurn && !m_closing; ++taken) {
        std::optional<nuvok::ws::Event> event = m_reader.next();
        if (!event)
            return;
        using Kind = nuvok::ws::Event::Kind;
        switch (event->kind) {
        case Kind::Text:
            emit textReceived(QString::fromStdString(event->data));
            break;
        case Kind::Binary:
            emit refused(QStringLiteral("a message that is not text"));
            break;
        case Kind::Ping:
            write(nuvok::ws::frame(nuvok::ws::Pong, event->data));
            break;
        case Kind::Pong:
            break;
        case Kind::Close:
            close(nuvok::ws::Normal);
            return;
        case Kind::Failed:
            emit refused(QString::fromStdString(event->data));
            close(event->closeCode);
            return;
        }
    }
    // More complete messages than one turn takes: the rest on the next.
    if (!m_closing)
        QTimer::singleShot(0, this, [this] { take({}); });
}
