#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>

class QTcpSocket;
class QTimer;

// The link to the LED and door controller: text commands, one at a time, in
// the order asked. Each command travels on a TCP connection of its own:
// connect, the text and CR LF, close. A command asked for while another is on
// its way waits its turn; it never cancels the one in flight.
//
// Nothing here waits: send() returns at once and the outcome comes back as a
// signal. An attempt ends at once when the controller refuses the connection,
// and after the deadline (setDeadlineMs) when it does not answer. A failed attempt is tried
// once more at once; a command that fails twice is given up.
class ControllerLink : public QObject {
    Q_OBJECT

public:
    // The bound on connecting and on handing the text over. A controller on
    // the LAN answers within milliseconds; 3 s still lets the system send its
    // first repeat of a lost connection request (after 1 s on Linux, up to
    // 3 s on Windows) and keeps a silent controller's cost to about 6 s per
    // command for both attempts.
    static constexpr int kDefaultDeadlineMs = 3000;
    // Commands that may wait behind the one in flight. A handset cannot ask
    // for so many while the controller works; a flood beyond it is refused
    // command by command instead of growing without bound.
    static constexpr qsizetype kMaxWaiting = 100;

    // Bounded: refused when kMaxWaiting commands wait already. Always: queued
    // whatever waits (the door pulse's off, which must not be lost).
    enum class Admission { Bounded, Always };

    // Where a command goes: the controller as it was when the command was
    // asked for.
    struct Destination {
        QString host;
        int port = 0;
    };

    explicit ControllerLink(QObject* parent = nullptr);
    ~ControllerLink() override;

    // Where the commands go; a change applies to the commands asked for from
    // now on. Those asked for before go where they were asked to (a door
    // pulse's off to the controller that got its on).
    void setController(const QString& host, int port);
    Destination destination() const { return m_to; }
    void setDeadlineMs(int ms) { m_deadlineMs = ms; }

    // Queues one command (the text without CR LF; one byte per character) and
    // returns its number, counting from 1. It goes out when the commands
    // before it are through; delivered or failed tells how it went, never
    // before send() has returned.
    quint64 send(const QString& text, Admission admission = Admission::Bounded);
    quint64 send(const QString& text, Admission admission, const Destination& to);
    // Commands not through yet, the one in flight included.
    qsizetype pending() const { return static_cast<qsizetype>(m_queue.size()); }
    // Whether a Bounded command would be refused now.
    bool full() const { return pending() - (m_running ? 1 : 0) >= kMaxWaiting; }
    // Forgets every pending command, the one in flight included (its
    // connection is cut); returns their texts in order. No signal follows.
    QStringList dropAll();

    // The program's last word to the controller, as it ends: one attempt on a
    // connection of its own, waited for up to timeoutMs. The one wait of the
    // link, for the door opener's off, which must not be left behind when the
    // program ends during a pulse. Returns an empty text when delivered, else
    // the reason.
    QString sendBeforeExit(const QString& text, int timeoutMs, const Destination& to);

    // The log line for commands that were not delivered, for example
    //   Controller 192.168.1.50:50290: "setport 3.1 " not delivered (connection refused)
    // Without a destination: the controller commands go to now.
    QString notDeliveredLine(const QStringList& texts, const QString& reason) const;
    static QString notDeliveredLine(const QStringList& texts, const QString& reason,
                                    const Destination& to);
    // Where the command of the last delivered or failed signal went.
    Destination lastDestination() const { return m_lastTo; }

    // Why a connection to the controller failed, in the log's words.
    static QString reasonFor(const QAbstractSocket& socket, QAbstractSocket::SocketError error);
    // Why no connection can be tried to a host and port; empty when one can.
    static QString unusable(const Destination& to);
    // The reason of an attempt that ran out of time.
    static QString notWithin(bool connecting, int ms);

signals:
    // The text and CR LF were handed to the controller's connection, which was closed.
    void delivered(quint64 id, const QString& text);
    // Given up after two attempts, or refused by a full queue; the reason is
    // that of the last attempt, written for the log.
    void failed(quint64 id, const QString& text, const QString& reason);

private:
    struct Command {
        quint64 id;
        QString text;
        Destination to;
    };
    enum class Phase { Idle, Connecting, Sending };

    void startNext();
    void startAttempt();
    // Ends the attempt in flight and decides what follows from the event loop.
    void endAttempt(bool delivered, const QString& reason);
    void afterAttempt(bool delivered, const QString& reason);
    void onConnected();
    void onBytesWritten(qint64 bytes);
    void onDisconnected();
    void onError(QAbstractSocket::SocketError error);
    void onDeadline();

    Destination m_to;
    Destination m_lastTo;
    int m_deadlineMs = kDefaultDeadlineMs;
    QTcpSocket* m_socket;
    QTimer* m_deadline;
    std::deque<Command> m_queue; // the front is in flight while an attempt runs
    quint64 m_lastId = 0;
    Phase m_phase = Phase::Idle;
    bool m_running = false;      // the front command is being tried (or its outcome is on its way)
    bool m_frontThrough = false; // the front command's last attempt delivered it
    int m_attempt = 0;           // 1 or 2 while the front command is tried
    QByteArray m_wire;
    qint64 m_written = 0;
    quint64 m_generation = 0; // bumped by dropAll, so that outcomes on their way are dropped
};
