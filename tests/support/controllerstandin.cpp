#include "support/controllerstandin.h"

#include "support/eventwait.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace nuvok::test {

namespace {

// A port nothing listens on at this moment.
quint16 unusedPort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

ControllerStandIn::ControllerStandIn(Mode mode) : m_mode(mode), m_port(unusedPort()) {
    m_clock.start();
    if (m_port == 0) {
        m_problem = QStringLiteral("no free port on 127.0.0.1");
        return;
    }
    if (mode == Mode::Answers)
        answer();
    else if (mode == Mode::Silent)
        fillBacklog();
}

ControllerStandIn::~ControllerStandIn() {
    stop();
}

void ControllerStandIn::stop() {
    for (auto& filler : m_fillers)
        filler->abort();
    m_fillers.clear();
    m_server.reset();
}

void ControllerStandIn::refuse() {
    stop();
    m_mode = Mode::Refuses;
}

void ControllerStandIn::answer() {
    stop();
    m_mode = Mode::Answers;
    m_server = std::make_unique<QTcpServer>();
    if (!m_server->listen(QHostAddress::LocalHost, m_port)) {
        m_problem = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                        .arg(m_port)
                        .arg(m_server->errorString());
        return;
    }
    QObject::connect(m_server.get(), &QTcpServer::newConnection, this, [this] { accept(); });
}

void ControllerStandIn::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        const std::size_t index = m_connections.size();
        m_connections.push_back({m_clock.elapsed(), -1, {}});
        QObject::connect(socket, &QTcpSocket::readyRead, this,
                         [this, socket, index] { m_connections[index].data += socket->readAll(); });
        QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket, index] {
            m_connections[index].data += socket->readAll();
            m_connections[index].closedMs = m_clock.elapsed();
            socket->deleteLater();
        });
    }
}

// A listener with the smallest backlog that nobody accepts from: once the
// connections made here fill its queue, the system drops every further
// connection request, and the client waits as for a controller that is off
// the network.
void ControllerStandIn::fillBacklog() {
    m_server = std::make_unique<QTcpServer>();
    m_server->setListenBacklogSize(0);
    m_server->setMaxPendingConnections(0); // never takes a connection from the queue
    if (!m_server->listen(QHostAddress::LocalHost, m_port)) {
        m_problem = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                        .arg(m_port)
                        .arg(m_server->errorString());
        return;
    }
    for (int i = 0; i < 16; ++i) {
        auto filler = std::make_unique<QTcpSocket>();
        filler->connectToHost(QHostAddress::LocalHost, m_port);
        if (!filler->waitForConnected(300)) {
            filler->abort(); // the queue is full: this one was not answered
            return;
        }
        m_fillers.push_back(std::move(filler));
    }
    m_problem = QStringLiteral("the backlog of 127.0.0.1:%1 did not fill up").arg(m_port);
}

QList<QByteArray> ControllerStandIn::commands() const {
    QList<QByteArray> result;
    for (const Connection& connection : m_connections)
        if (!connection.data.isEmpty())
            result << connection.data;
    return result;
}

bool ControllerStandIn::waitForCommands(qsizetype count, int timeoutMs) const {
    return waitUntil(
        [&] {
            qsizetype done = 0;
            for (const Connection& connection : m_connections)
                if (!connection.data.isEmpty() && connection.closedMs >= 0)
                    ++done;
            return done >= count;
        },
        timeoutMs);
}

} // namespace nuvok::test
