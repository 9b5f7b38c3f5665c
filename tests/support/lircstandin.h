#pragma once

// The infrared daemon of Windows (WinLIRC), or lircd over TCP, as the tests
// play it: a TCP server on 127.0.0.1 that sends the same lines as lircd
// (support/lirclines.h) to every client, and answers a client's VERSION as
// both do (lircVersionReply), unless told to answer nothing, as a daemon that
// only ever sends button events. It can drop its clients, stop listening
// (connections are then refused) and listen again on the same port, as a
// daemon that is restarted.

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace nuvok::test {

class LircStandIn : public QObject {
public:
    // Listens at once on the port, or on a free one for 0.
    explicit LircStandIn(quint16 port = 0);
    ~LircStandIn() override;

    // Whether it listens; problem() says why not.
    bool ready() const { return m_problem.isEmpty() && listening(); }
    QString problem() const { return m_problem; }
    quint16 port() const { return m_port; }

    // Connections accepted since it was made, and those open now.
    int accepted() const { return m_accepted; }
    int clients() const;
    bool waitForClients(int count, int timeoutMs = 10000) const;

    // Whether VERSION is answered (from now on); true when it is made.
    void setAnswersVersion(bool answers) { m_answersVersion = answers; }
    // The VERSION lines clients have sent since it was made.
    int versionsAsked() const { return m_versionsAsked; }

    // Sends the bytes as they are (whole lines, a part of one, several) to
    // every client; returns to how many.
    int send(const QByteArray& bytes);
    // Ends every connection at once; the server still listens.
    void dropClients();
    // Ends every connection and closes the port: connections are refused.
    void stopListening();
    // Listens again on the same port; false (problem() says why) if it cannot.
    bool listen();
    bool listening() const;

private:
    void accept();
    void read(QTcpSocket* socket);

    quint16 m_port = 0;
    QString m_problem;
    int m_accepted = 0;
    bool m_answersVersion = true;
    int m_versionsAsked = 0;
    std::unique_ptr<QTcpServer> m_server;
    QList<QPointer<QTcpSocket>> m_clients;
};

} // namespace nuvok::test
