#include "session/peerqueue.h"

#include "session/failuretext.h"

#include <QThread>

#include <mutex>
#include <set>
#include <utility>

// Lives on the peer's thread and runs one piece of work at a time.
class PeerQueue::Runner : public QObject {
    Q_OBJECT

public:
    void run(quint64 id, const PeerQueue::Work& work) {
        PeerOutcome outcome;
        try {
            outcome = work();
        } catch (...) {
            outcome.failure = failureText(std::current_exception());
        }
        emit done(id, outcome);
    }

signals:
    void done(quint64 id, const PeerOutcome& outcome);
};

PeerQueue::PeerQueue(QString peer, Options options, Probe probe, QObject* parent)
    : QObject(parent), m_peer(std::move(peer)), m_options(options), m_probe(std::move(probe)) {
    qRegisterMetaType<PeerOutcome>();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, &PeerQueue::deadlinePassed);
    m_probeTimer.setInterval(m_options.probeIntervalMs);
    connect(&m_probeTimer, &QTimer::timeout, this, &PeerQueue::probeNow);
    m_demandTimer.setSingleShot(true);
    m_demandTimer.setTimerType(Qt::PreciseTimer); // the keys' wait is never cut short
    connect(&m_demandTimer, &QTimer::timeout, this, &PeerQueue::demandTimedOut);
    if (!m_options.ownThread)
        return;
    m_thread = new QThread;
    m_thread->setObjectName(m_peer);
    m_runner = new Runner;
    m_runner->moveToThread(m_thread);
    connect(m_runner, &Runner::done, this, &PeerQueue::finished, Qt::QueuedConnection);
    m_thread->start();
}

namespace {

// The threads left to a peer that held them at the end, until they are freed.
// The peer may let go only after the event loop that would free the thread
// has stopped (the program returning from main): kept here, the thread stays
// the program's to the end of the process instead of becoming lost memory.
// Never destroyed, so that it outlives every other static.
struct LeftThreads {
    std::mutex mutex;
    std::set<QThread*> threads;
};

LeftThreads& leftThreads() {
    static auto* left = new LeftThreads;
    return *left;
}

void keepLeftThread(QThread* thread) {
    LeftThreads& left = leftThreads();
    const std::lock_guard lock(left.mutex);
    left.threads.insert(thread);
}

void forgetLeftThread(QThread* thread) {
    LeftThreads& left = leftThreads();
    const std::lock_guard lock(left.mutex);
    left.threads.erase(thread);
}

} // namespace

int PeerQueue::threadsLeft() {
    LeftThreads& left = leftThreads();
    const std::lock_guard lock(left.mutex);
    return static_cast<int>(left.threads.size());
}

PeerQueue::~PeerQueue() {
    stop();
}

void PeerQueue::stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    m_deadline.stop();
    m_probeTimer.stop();
    m_demandTimer.stop();
    m_demand = false;
    failPending(QStringLiteral("the program ended"));
    if (!m_thread)
        return;
    disconnect(m_runner, nullptr, this, nullptr);
    m_thread->quit();
    if (m_thread->wait(m_options.endWaitMs)) {
        delete m_runner;
        delete m_thread;
    } else {
        // The peer still holds the thread: it and its work are not freed
        // under its feet, but once the peer lets go (or at the end of the
        // process), the way threads are.
        QThread* thread = m_thread;
        keepLeftThread(thread);
        QObject::connect(thread, &QThread::finished, m_runner, &QObject::deleteLater);
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        QObject::connect(thread, &QObject::destroyed, [thread] { forgetLeftThread(thread); });
    }
    m_runner = nullptr;
    m_thread = nullptr;
}

QString PeerQueue::seconds() const {
    return QString::number(m_options.deadlineMs / 1000.0, 'g', 3);
}

void PeerQueue::post(Work work, Done done) {
    if (m_stopped) {
        done(PeerOutcome::notReached(QStringLiteral("the program is ending")));
        return;
    }
    if (!m_options.ownThread) {
        PeerOutcome outcome;
        try {
            outcome = work();
        } catch (...) {
            outcome.failure = failureText(std::current_exception());
        }
        done(outcome);
        return;
    }
    if (m_pending.size() >= static_cast<std::size_t>(m_options.capacity)) {
        done(PeerOutcome::notReached(
            QStringLiteral("too many keys are waiting for %1").arg(m_peer)));
        return;
    }
    if (m_hung && !m_demand) {
        // Its answer to a question just asked is still fresh: no new one.
        if (!threadBusy() && askedRecently()) {
            done(PeerOutcome::notReached(QStringLiteral("%1 does not answer").arg(m_peer)));
            return;
        }
        // The peer may be back: this key asks it, and waits a moment for it.
        m_demand = true;
        m_demandTimer.start(m_options.demandWaitMs);
    }
    m_pending.push_back({std::move(work), std::move(done)});
    next();
}

bool PeerQueue::askedRecently() const {
    return m_lastProbe.isValid() && m_lastProbe.elapsed() < m_options.demandGapMs;
}

// What the free thread does now: the next piece for a peer that answers, a
// question for a hung one that keys wait for, or nothing.
void PeerQueue::next() {
    if (m_stopped || threadBusy())
        return;
    if (!m_hung)
        startNext();
    else if (m_demand)
        sendProbe();
}

void PeerQueue::startNext() {
    if (m_pending.empty())
        return;
    Item item = std::move(m_pending.front());
    m_pending.pop_front();
    dispatch(Running::Kind::Work, std::move(item.work), std::move(item.done));
    m_deadline.start(m_options.deadlineMs);
}

// Asks a hung peer for the keys waiting: with the probe, or without one with
// the first key's own work. The demand's window is the deadline of either.
void PeerQueue::sendProbe() {
    if (!m_probe && m_pending.empty()) {
        endDemand();
        return;
    }
    m_lastProbe.start();
    if (m_probe) {
        dispatch(Running::Kind::Probe, [probe = m_probe] {
            PeerOutcome outcome;
            outcome.peerSilent = !probe();
            return outcome;
        });
        return;
    }
    Item item = std::move(m_pending.front());
    m_pending.pop_front();
    dispatch(Running::Kind::Work, std::move(item.work), std::move(item.done), true);
}

void PeerQueue::dispatch(Running::Kind kind, Work work, Done done, bool asProbe) {
    const quint64 id = ++m_lastId;
    m_running = {kind, id, std::move(done), false, asProbe};
    Runner* runner = m_runner;
    QMetaObject::invokeMethod(
        runner, [runner, id, work = std::move(work)] { runner->run(id, work); },
        Qt::QueuedConnection);
}

void PeerQueue::finished(quint64 id, const PeerOutcome& outcome) {
    if (id != m_running.id || !threadBusy())
        return;
    const Running ran = std::exchange(m_running, Running{});
    m_deadline.stop();
    const bool answered = !outcome.peerSilent;
    if (ran.kind == Running::Kind::Probe) {
        if (answered && m_hung)
            answersAgain();
        else if (!answered && m_demand)
            endDemand(); // the keys' answer: still silent
    } else if (ran.overdue) {
        if (outcome.failure.isEmpty()) {
            // Reported as missing, but done after all: the log must say so,
            // and the peer has answered.
            PeerOutcome late = outcome;
            late.late = true;
            ran.done(late);
            if (m_hung && answered)
                answersAgain();
        }
    } else if (ran.asProbe) {
        // The key's own work asked the peer: its outcome is the answer.
        if (answered && m_hung)
            answersAgain();
        ran.done(outcome);
        if (!answered)
            endDemand();
    } else {
        ran.done(outcome);
        if (!answered)
            becameSilent();
    }
    next();
}

void PeerQueue::deadlinePassed() {
    if (m_running.kind != Running::Kind::Work || m_running.overdue || m_running.asProbe)
        return;
    m_running.overdue = true;
    const Done done = m_running.done;
    done(PeerOutcome::notReached(
        QStringLiteral("%1 did not answer within %2 s").arg(m_peer, seconds())));
    becameSilent();
}

// The keys waited as long as they may: the peer has not answered.
void PeerQueue::demandTimedOut() {
    if (m_running.kind == Running::Kind::Work && m_running.asProbe && !m_running.overdue) {
        m_running.overdue = true;
        const Done done = m_running.done;
        done(PeerOutcome::notReached(QStringLiteral("%1 does not answer").arg(m_peer)));
    }
    endDemand();
}

void PeerQueue::endDemand() {
    m_demandTimer.stop();
    m_demand = false;
    failPending(QStringLiteral("%1 does not answer").arg(m_peer));
}

void PeerQueue::becameSilent() {
    if (!m_hung)
        emit hangs(
            QStringLiteral("%1 does not answer; its keys fail until it answers again").arg(m_peer));
    m_hung = true;
    failPending(QStringLiteral("%1 does not answer").arg(m_peer));
    if (m_probe)
        m_probeTimer.start();
}

// Before the lines of the work that it lets through.
void PeerQueue::answersAgain() {
    m_hung = false;
    m_probeTimer.stop();
    m_demandTimer.stop();
    m_demand = false;
    emit answers(QStringLiteral("%1 answers again").arg(m_peer));
}

void PeerQueue::probeNow() {
    if (!m_hung) {
        m_probeTimer.stop();
        return;
    }
    if (threadBusy())
        return; // the late work or a question still holds the thread
    m_lastProbe.start();
    dispatch(Running::Kind::Probe, [probe = m_probe] {
        PeerOutcome outcome;
        outcome.peerSilent = probe && !probe();
        return outcome;
    });
}

void PeerQueue::failPending(const QString& reason) {
    std::deque<Item> pending;
    pending.swap(m_pending);
    for (Item& item : pending)
        item.done(PeerOutcome::notReached(reason));
}

#include "peerqueue.moc"
