#include "support/lircstandin.h"

#include "support/eventwait.h"
#include "support/lirclines.h"

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
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

// A client's commands, line by line: VERSION is answered, everything else is
// read only, so that nothing fills up.
void LircStandIn::read(QTcpSocket* socket) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(1024).trimmed();
        if (line != "VERSION")
            continue;
        ++m_versionsAsked;
        if (m_answersVersion)
            socket->write(lircVersionReply());
    }
    // A line longer than any command is dropped.
    if (!socket->canReadLine() && socket->bytesAvailable() > 1024)
        socket->readAll();
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
