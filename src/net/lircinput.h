#pragma once

#include "net/lircserver.h"
#include "remote/lircevents.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

class QIODevice;
class QLocalSocket;
class QTcpSocket;

// Where lircd is: its socket, or a host and port (lircd's --listen, WinLIRC).
struct LircPlace {
    QString socketPath;
    QString host; // set: TCP
    quint16 port = 0;
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

// The button events of infrared remotes from lircd, read without waiting. A
// lircd that is not there, stops or restarts is tried again every retryMs,
// quietly: one line when the input is lost, one when it is there (again), and
// at the start one line saying how to set it up when there is no lircd yet.
class LircInput : public QObject {
    Q_OBJECT

public:
    explicit LircInput(int retryMs = 2000, QObject* parent = nullptr);
    ~LircInput() override;

    void start(const LircPlace& place);
    void stop();
    bool connected() const { return m_connected; }
    // Where the events come from; set once connected.
    const LircSource& source() const { return m_source; }
    const LircPlace& place() const { return m_place; }

    // What one turn of the event loop reads at most; the rest follows.
    static constexpr qint64 kBytesPerTurn = 4096;

signals:
    void event(const nuvok::LircEvent& event);
    void logLine(const QString& line);
    // Connected, after the line that says so: source() tells from where.
    void ready();

private:
    void connectNow();
    void connectedNow();
    void ended(const QString& why);
    void readAvailable();
    QIODevice* device() const;

    LircPlace m_place;
    int m_retryMs;
    QLocalSocket* m_local = nullptr;
    QTcpSocket* m_tcp = nullptr;
    QTimer m_retry;
    nuvok::LircLineReader m_reader;
    LircSource m_source;
    bool m_readPosted = false;
    bool m_running = false;
    bool m_connected = false;
    bool m_wasThere = false;  // connected at least once
    bool m_startSaid = false; // the line of a lircd not there at the start
};
