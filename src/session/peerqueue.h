#pragma once

#include "remote/volumesteps.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>

class QThread;

// What a piece of work for a peer left: its log lines, and why it failed
// (empty when it did not). `notRun` says it never reached the peer.
struct PeerOutcome {
    QStringList lines;
    QString failure;
    bool notRun = false;
    // The peer was reached but did not answer in time: it hangs.
    bool peerSilent = false;
    // The work was done after all, after its deadline had been reported.
    bool late = false;
    // A volume step was made, and left the level here.
    std::optional<nuvok::VolumeLevel> volume;

    // Work that never reached the peer, and why.
    static PeerOutcome notReached(QString why) {
        PeerOutcome outcome;
        outcome.failure = std::move(why);
        outcome.notRun = true;
        return outcome;
    }
};
Q_DECLARE_METATYPE(PeerOutcome)

// The link to one peer that may answer late or never (the sound server, the
// players): a bounded FIFO of work carried out one at a time on a thread of
// its own, so that the event loop never waits for the peer. Each piece has a
// deadline; a peer that misses it, or whose work says it did not answer in
// time, is taken for hung, and the work waiting for it fails at once, with one
// outcome per piece. From then on a probe in the background looks for it
// (`probeIntervalMs`), and so does a key: work that comes for a hung peer asks
// it at once, unless it was asked within `demandGapMs`, and waits for the
// answer at most `demandWaitMs`, with what comes meanwhile queued behind it.
// An answer ("… answers again") lets the work through; none fails it. A
// queue without a probe asks with the key's own work, whose outcome within
// that window is the answer. Work done after its deadline after all is an
// answer too. Outcomes are delivered on the owner's thread, in the order the
// work was posted.
class PeerQueue : public QObject {
    Q_OBJECT

public:
    using Work = std::function<PeerOutcome()>; // runs on the peer's thread
    using Done = std::function<void(const PeerOutcome&)>;
    // A cheap round trip on the peer's thread: false when the peer did not
    // answer in time. A probe that throws has had its answer. Without one,
    // the work of a key for a hung peer is its own probe.
    using Probe = std::function<bool()>;

    struct Options {
        int deadlineMs = 1000;
        int capacity = 16;          // pieces waiting behind the one in flight
        int probeIntervalMs = 2000; // while hung
        int demandGapMs = 250;      // a key asks a hung peer unless it was asked this recently
        int demandWaitMs = 300;     // and waits this long for its answer
        bool ownThread = true;      // false: work runs at once, in post (tests)
        int endWaitMs = 300;        // how long the end of the program waits for it
    };

    // `peer` names it in the log ("the sound server"); `probe` is a cheap
    // round trip that tells whether it answers again (it may throw).
    PeerQueue(QString peer, Options options, Probe probe, QObject* parent = nullptr);
    ~PeerQueue() override;

    void post(Work work, Done done);
    bool hung() const { return m_hung; }
    // The probe of a hung peer, from now on.
    void setProbe(Probe probe) { m_probe = std::move(probe); }
    const QString& peer() const { return m_peer; }
    // Lets the peer's thread go; work still waiting fails as not run. A
    // thread that does not end in time is left running, and is freed once
    // the peer lets go of it.
    void stop();
    // Threads left to a peer by stop() and not freed yet.
    static int threadsLeft();

signals:
    void hangs(const QString& text);   // the first missed deadline
    void answers(const QString& text); // it answered again, before the work it lets through

private:
    struct Item {
        Work work;
        Done done;
    };
    // What the peer's thread is busy with. Work keeps its Done until its
    // outcome is delivered: after its deadline, should it be done after all.
    struct Running {
        enum class Kind { Nothing, Work, Probe };
        Kind kind = Kind::Nothing;
        quint64 id = 0;
        Done done;
        bool overdue = false; // the work was reported as not done
        bool asProbe = false; // the work asks a hung peer (a queue without a probe)
    };
    class Runner;

    bool threadBusy() const { return m_running.kind != Running::Kind::Nothing; }
    bool askedRecently() const;
    void next();
    void startNext();
    void sendProbe();
    void dispatch(Running::Kind kind, Work work, Done done = {}, bool asProbe = false);
    void finished(quint64 id, const PeerOutcome& outcome);
    void deadlinePassed();
    void demandTimedOut();
    void endDemand();
    void becameSilent();
    void answersAgain();
    void probeNow();
    void failPending(const QString& reason);
    QString seconds() const;

    QString m_peer;
    Options m_options;
    Probe m_probe;
    std::deque<Item> m_pending;
    Running m_running;
    bool m_hung = false;
    bool m_demand = false; // keys wait for the answer to a hung peer's probe
    bool m_stopped = false;
    quint64 m_lastId = 0;
    QThread* m_thread = nullptr;
    Runner* m_runner = nullptr;
    QTimer m_deadline;
    QTimer m_probeTimer;
    QTimer m_demandTimer;
    QElapsedTimer m_lastProbe; // when the peer was last asked
};
