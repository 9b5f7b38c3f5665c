#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace nuvok::test {

// The stand-in notes a connection when this process's event loop gets to it;
// on a loaded machine that may be this much after the connection came, so an
// interval between two connections reads up to this much short.
inline constexpr int kStandInLatenessMs = 50;

// The LED and door controller as the tests play it, on 127.0.0.1 and a port
// of its own:
//   Answers  accepts every connection and keeps what each one carried;
//   Refuses  nothing listens on the port: a connection is refused at once;
//   Silent   it listens, but its backlog is full and nobody accepts, so a
//            connection request is never answered (the system drops it);
// and a controller that comes up late: answer() makes any of them answer
// from then on, on the same port.
class ControllerStandIn : public QObject {
public:
    enum class Mode { Answers, Refuses, Silent };

    struct Connection {
        qint64 acceptedMs = 0; // on elapsedMs()'s clock
        qint64 closedMs = -1;
        QByteArray data;
    };

    explicit ControllerStandIn(Mode mode = Mode::Answers);
    ~ControllerStandIn() override;

    // Whether the mode could be set up; problem() says why not.
    bool ready() const { return m_problem.isEmpty(); }
    QString problem() const { return m_problem; }
    quint16 port() const { return m_port; }
    Mode mode() const { return m_mode; }

    // From now on every connection is accepted.
    void answer();
    // From now on connections are refused.
    void refuse();

    qint64 elapsedMs() const { return m_clock.elapsed(); }
    const std::vector<Connection>& connections() const { return m_connections; }
    // What the connections carried, oldest first, empty ones left out.
    QList<QByteArray> commands() const;
    // Waits until that many connections have carried something and closed.
    bool waitForCommands(qsizetype count, int timeoutMs = 10000) const;

private:
    void stop();
    void accept();
    void fillBacklog();

    Mode m_mode;
    quint16 m_port = 0;
    QString m_problem;
    QElapsedTimer m_clock;
    std::unique_ptr<QTcpServer> m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_fillers; // hold the silent backlog
    std::vector<Connection> m_connections;
};

} // namespace nuvok::test
