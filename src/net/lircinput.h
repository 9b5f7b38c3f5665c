#pragma once

#include "net/lircserver.h"
#include "remote/lircevents.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <string>

class QIODevice;
class QLocalSocket;
class QTcpSocket;

// Where lircd is: its socket, or a host and port (lircd's --listen, WinLIRC).
struct LircPlace {
    QString socketPath;
    QString host; // set: TCP
    quint16 port = 0;
    // The build's own socket, named by no setting: while there is no socket
    // there, IR remotes are not in use and nothing is said.
    bool byDefault = false;
    bool tcp() const { return !host.isEmpty(); }
    QString text() const;
};

// Where the keys of the connection come from, which decides what they may
// do: a place on the network is a handset at its address, over TCP, whoever
// answers there; a local socket is a receiver in the room only when a
// trusted user serves it.
struct LircSource {
    bool network = false;
    QHostAddress address;     // network: the place's address
    nuvok::LircServer server; // a local socket: who serves it
};

// How often lircd is looked for and asked.
struct LircTimes {
    int retryMs = 2000;  // a lircd that is not there, or went away
    int answerMs = 2000; // what an answer to VERSION may take
    int askMs = 30000;   // while no events come, the question again
};

// The button events of infrared remotes from lircd, read without waiting. A
// connection is lircd only once it answers: the reply to VERSION, asked at
// once, or a button event (a daemon that never answers VERSION), since a
// stopped lircd still has its connections accepted. A lircd that is not
// there, stops or restarts is tried again every retryMs, quietly: one line
// when the input is lost, one when it is there (again), one when it does not
// answer and one when it answers again, and at the start one line saying how
// to set it up when there is no lircd yet (none for the build's own socket
// while there is none).
class LircInput : public QObject {
    Q_OBJECT

public:
    explicit LircInput(int retryMs = 2000, QObject* parent = nullptr);
    ~LircInput() override;

    // For the next start.
    void setTimes(const LircTimes& times) { m_times = times; }
    void start(const LircPlace& place);
    void stop();
    // Started and not stopped.
    bool running() const { return m_running; }
    // Connected, and lircd has answered.
    bool connected() const { return m_ready; }
    // Where the events come from; set once connected.
    const LircSource& source() const { return m_source; }
    const LircPlace& place() const { return m_place; }

    // What one turn of the event loop reads at most; the rest follows.
    static constexpr qint64 kBytesPerTurn = 4096;

signals:
    void event(const nuvok::LircEvent& event);
    void logLine(const QString& line);
    // Connected and answered, after the line that says so: source() tells from where.
    void ready();

private:
    void connectNow();
    void connectedNow();
    void ended(const QString& why, const QString& reason, bool noSocket);
    void ask();
    void notAnswered();
    void heard(bool versionReply, const std::optional<std::string>& version);
    void readAvailable();
    QIODevice* device() const;

    LircPlace m_place;
    LircTimes m_times;
    QLocalSocket* m_local = nullptr;
    QTcpSocket* m_tcp = nullptr;
    QTimer m_retry;
    QTimer m_answer; // the question's deadline
    QTimer m_ask;    // the next question, while nothing comes
    nuvok::LircLineReader m_reader;
    LircSource m_source;
    bool m_readPosted = false;
    bool m_running = false;
    // This connection: open, answered, asked and not answered yet, and
    // whether it answers VERSION at all (else it cannot be asked).
    bool m_open = false;
    bool m_ready = false;
    bool m_asking = false;
    bool m_answersVersion = false;
    bool m_wasThere = false;   // answered at least once
    bool m_startSaid = false;  // the line of a lircd not there at the start
    bool m_silentSaid = false; // connected without an answer, said until it answers
    bool m_hungSaid = false;   // stopped answering after it was ready, said
    QString m_versionSaid;
};
