#pragma once

// A real lircd for tests, without an infrared receiver: it runs in the
// foreground with a configuration of its own (the "file" driver on /dev/null,
// no remotes), its socket, pid file and log in a folder of its own, and takes
// simulated buttons (irsend SIMULATE) that it sends to its clients as it
// would a received signal (support/lirclines.h). On request it also serves
// its clients over TCP on 127.0.0.1. It can be stopped and started again on
// the same socket and port, and held still as a lircd that hangs. The
// machine's own lircd (/run/lirc/lircd) is never used.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace nuvok::test {

class LircDaemon {
public:
    LircDaemon();
    ~LircDaemon();
    LircDaemon(const LircDaemon&) = delete;
    LircDaemon& operator=(const LircDaemon&) = delete;

    // What is missing for it to run here (lircd, irsend); empty when nothing.
    static QString missing();

    // Starts lircd (ending one already running) on the socket only, or also
    // on TCP 127.0.0.1 with the port (a free one for 0); true once it accepts
    // connections.
    bool start();
    bool startWithTcp(quint16 port = 0);
    // Ends lircd (SIGTERM) and waits for it: its clients see the end of their
    // connections. lircd leaves its socket file behind, so that a connection
    // is refused; Remove takes it away, as a daemon that is not there at all.
    enum class SocketFile { Remove, Keep };
    void stop(SocketFile file = SocketFile::Remove);
    // Starts it again as it last ran: the same socket, the same TCP port.
    bool restart();
    // Makes lircd read its configuration again (SIGHUP): every client gets
    // the block "BEGIN\nSIGHUP\nEND\n".
    bool reload();
    // Holds lircd still (SIGSTOP) and lets it go on (SIGCONT): while it is
    // held, its socket still accepts connections (the kernel's backlog), but
    // nothing answers and no button is sent.
    bool pause();
    bool resume();
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    QString socketPath() const;
    // The TCP port it serves, 0 without TCP.
    quint16 tcpPort() const { return m_tcpPort; }

    // Connections lircd has accepted since it was started, other than the
    // simulated buttons' own; waits until there are that many.
    int clientsAccepted() const;
    bool waitForClients(int count, int timeoutMs = 10000) const;

    // One event of the button: its press (repeat 0) or a repeat of it, with
    // the code lircCode(button). lircd sends lircEventLine(button, remote,
    // repeat). False (log() says why) if lircd does not take it, e.g. for a
    // name with a space.
    bool press(const QString& button, const QString& remote, int repeat = 0);
    // A held button: the press, then the repeats 1..repeats every intervalMs,
    // the event loop running in between.
    bool hold(const QString& button, const QString& remote, int repeats, int intervalMs);

    // The end of lircd's log and of what irsend said, for a failure message.
    QString log() const;

private:
    bool launch();
    QString path(const char* name) const;
    int acceptedInLog() const;

    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_tcpPort = 0;
    bool m_paused = false;
    qint64 m_logStart = 0;    // where the present run's log begins
    int m_ownConnections = 0; // irsend's, in the present run
    QString m_irsendLog;
};

} // namespace nuvok::test
