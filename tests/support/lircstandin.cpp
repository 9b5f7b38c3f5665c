#include "support/lircstandin.h"

#include "support/eventwait.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace nuvok::test {

LircStandIn::LircStandIn(quint16 port) : m_port(port), m_server(std::make_unique<QTcpServer>()) {
    QObject::connect(m_server.get(), &QTcpServer::newConnection, this, [this] { accept(); });
    if (listen())
        m_port = m_server->serverPort();
}

LircStandIn::~LircStandIn() {
    stopListening();
}

bool LircStandIn::listen() {
    if (listening())
        return true;
    if (!m_server->listen(QHostAddress::LocalHost, m_port)) {
        m_problem = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                        .arg(m_port)
                        .arg(m_server->errorString());
        return false;
    }
    m_problem.clear();
    return true;
}

bool LircStandIn::listening() const {
    return m_server->isListening();
}

void LircStandIn::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        ++m_accepted;
        m_clients << socket;
        // What a client sends is not answered; it is read so that it never fills up.
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

int LircStandIn::clients() const {
    int open = 0;
    for (const QPointer<QTcpSocket>& client : m_clients)
        if (client && client->state() == QAbstractSocket::ConnectedState)
            ++open;
    return open;
}

bool LircStandIn::waitForClients(int count, int timeoutMs) const {
    return waitUntil([&] { return clients() >= count; }, timeoutMs);
}

int LircStandIn::send(const QByteArray& bytes) {
    int reached = 0;
    for (const QPointer<QTcpSocket>& client : m_clients) {
        if (!client || client->state() != QAbstractSocket::ConnectedState)
            continue;
        if (client->write(bytes) == bytes.size()) {
            client->flush();
            ++reached;
        }
    }
    return reached;
}

void LircStandIn::dropClients() {
    for (const QPointer<QTcpSocket>& client : m_clients) {
        if (!client)
            continue;
        client->abort();
        client->deleteLater();
    }
    m_clients.clear();
}

void LircStandIn::stopListening() {
    dropClients();
    m_server->close();
}

} // namespace nuvok::test
