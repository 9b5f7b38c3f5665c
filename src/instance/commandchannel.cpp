#include "instance/commandchannel.h"

#include "session/failuretext.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

namespace {

// A client's share of one turn of the event loop, what it may have buffered
// unread, and the answers it may leave unread before it is let go.
constexpr int kRequestsPerTurn = 8;
constexpr qint64 kReadBuffer = 2 * ChannelMessage::kMaxLineBytes;
constexpr qint64 kUnreadAnswers = 64 * 1024;

} // namespace

CommandChannel::CommandChannel(std::unique_ptr<QLocalServer> server, PeerCheck peerCheck,
                               Limits limits, QObject* parent)
    : QObject(parent), m_server(std::move(server)), m_peerCheck(std::move(peerCheck)),
      m_limits(limits) {
    m_server->setParent(nullptr);
    connect(m_server.get(), &QLocalServer::newConnection, this, &CommandChannel::accept);
}

CommandChannel::~CommandChannel() {
    close();
}

void CommandChannel::handle(const QString& word, Handler handler) {
    m_handlers.insert(word, std::move(handler));
}

bool CommandChannel::listening() const {
    return m_server && m_server->isListening();
}

void CommandChannel::close() {
    if (!m_server)
        return;
    // The clients are the server's children: they go with it, and tell
    // this channel nothing more on their way.
    for (QLocalSocket* client : m_server->findChildren<QLocalSocket*>())
        client->disconnect(this);
    m_server->close();
    m_server.reset();
}

ChannelMessage CommandChannel::answer(const QString& verdict, const QString& text) {
    ChannelMessage message;
    message.word = verdict;
    return message.with(QStringLiteral("text"), text);
}

void CommandChannel::accept() {
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket* client = m_server->nextPendingConnection();
        QString who;
        if (!m_peerCheck(client->socketDescriptor(), &who)) {
            emit logLine(QStringLiteral("The command channel refused %1: it serves this user only")
                             .arg(who));
            client->abort();
            client->deleteLater();
            continue;
        }
        if (m_clients >= m_limits.clients) {
            client->abort();
            client->deleteLater();
            continue;
        }
        ++m_clients;
        client->setReadBufferSize(kReadBuffer);
        auto* silence = new QTimer(client);
        silence->setSingleShot(true);
        silence->setInterval(m_limits.silenceMs);
        connect(silence, &QTimer::timeout, client, &QLocalSocket::abort);
        connect(client, &QLocalSocket::readyRead, this, [this, client, silence] {
            silence->start();
            read(client);
        });
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            --m_clients;
            client->deleteLater();
        });
        silence->start();
        read(client);
    }
}

void CommandChannel::read(QLocalSocket* client) {
    for (int served = 0; client->state() == QLocalSocket::ConnectedState; ++served) {
        if (served == kRequestsPerTurn) {
            // The rest in a later turn: a client that sends a flood does not
            // hold up the keys.
            const QPointer<QLocalSocket> later(client);
            QMetaObject::invokeMethod(
                this,
                [this, later] {
                    if (later)
                        read(later);
                },
                Qt::QueuedConnection);
            return;
        }
        if (!client->canReadLine()) {
            if (client->bytesAvailable() >= ChannelMessage::kMaxLineBytes) {
                respond(client, answer(QStringLiteral("refused"),
                                       QStringLiteral("the request is too long")));
                client->disconnectFromServer();
            }
            return;
        }
        const QByteArray line = client->readLine(ChannelMessage::kMaxLineBytes + 1);
        QString problem;
        const std::optional<ChannelMessage> request = ChannelMessage::parse(line, &problem);
        if (!request) {
            respond(client, answer(QStringLiteral("refused"), problem));
            continue;
        }
        const auto handler = m_handlers.constFind(request->word);
        if (handler == m_handlers.constEnd()) {
            respond(client, answer(QStringLiteral("refused"),
                                   QStringLiteral("unknown request: ") + request->word));
            continue;
        }
        // The handler may end the program: the client is held only by a guard.
        const QPointer<QLocalSocket> guard(client);
        ChannelMessage reply;
        try {
            reply = (*handler)(*request);
        } catch (...) {
            // Reached from the event loop: the failure is one line, and the
            // program runs on.
            const QString why = failureText(std::current_exception());
            emit logLine(why);
            reply = answer(QStringLiteral("failed"), why);
        }
        if (!guard)
            return;
        respond(client, reply);
    }
}

void CommandChannel::respond(QLocalSocket* client, const ChannelMessage& reply) {
    QByteArray line = reply.line();
    if (line.size() > ChannelMessage::kMaxLineBytes)
        line = answer(QStringLiteral("failed"), QStringLiteral("the answer is too long")).line();
    if (client->bytesToWrite() > kUnreadAnswers) {
        client->abort(); // it reads none of its answers
        return;
    }
    client->write(line);
    client->flush();
}
