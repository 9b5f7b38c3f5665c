#include "session/peerqueue.h"

#include "session/failuretext.h"

#include <QThread>

#include <mutex>
#include <set>

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
    if (m_hung) {
        done(PeerOutcome::notReached(QStringLiteral("%1 does not answer").arg(m_peer)));
        return;
    }
    if (m_pending.size() >= static_cast<std::size_t>(m_options.capacity)) {
        done(PeerOutcome::notReached(
            QStringLiteral("too many keys are waiting for %1").arg(m_peer)));
        return;
    }
    m_pending.push_back({std::move(work), std::move(done)});
    startNext();
}

void PeerQueue::startNext() {
    if (m_threadBusy || m_hung || m_pending.empty())
        return;
    Item item = std::move(m_pending.front());
    m_pending.pop_front();
    m_inFlight = std::move(item.done);
    dispatch(std::move(item.work));
}

void PeerQueue::dispatch(Work work) {
    m_threadBusy = true;
    m_currentId = ++m_lastId;
    const quint64 id = m_currentId;
    Runner* runner = m_runner;
    QMetaObject::invokeMethod(
        runner, [runner, id, work = std::move(work)] { runner->run(id, work); },
        Qt::QueuedConnection);
    m_deadline.start(m_options.deadlineMs);
}

void PeerQueue::finished(quint64 id, const PeerOutcome& outcome) {
    m_threadBusy = false;
    if (id == m_currentId) {
        m_currentId = 0;
        m_deadline.stop();
        if (m_probing) {
            m_probing = false;
            if (!outcome.peerSilent) {
                m_hung = false;
                m_probeTimer.stop();
                emit answers(QStringLiteral("%1 answers again").arg(m_peer));
            }
        } else if (m_inFlight) {
            const Done done = std::move(m_inFlight);
            m_inFlight = nullptr;
            done(outcome);
            if (outcome.peerSilent)
                becameSilent();
        }
    } else {
        if (m_overdue && outcome.failure.isEmpty()) {
            // Reported as missing, but done after all: the log must say so.
            PeerOutcome late = outcome;
            late.late = true;
            m_overdue(late);
        }
        // Without a probe nothing asked the peer whether it answers: the
        // next key tries it again, now that the thread is free, unannounced.
        if (!m_probe)
            m_hung = false;
    }
    m_overdue = nullptr;
    startNext();
}

void PeerQueue::deadlinePassed() {
    m_currentId = 0;
    if (m_probing) {
        m_probing = false;
        return; // still hung; the probe timer tries again
    }
    if (m_inFlight) {
        m_overdue = std::move(m_inFlight);
        m_inFlight = nullptr;
        m_overdue(PeerOutcome::notReached(
            QStringLiteral("%1 did not answer within %2 s").arg(m_peer, seconds())));
    }
    becameSilent();
}

void PeerQueue::becameSilent() {
    // Without a probe, and with the thread free, nothing could tell when it
    // answers again: the next key tries it.
    if (!m_probe && !m_threadBusy)
        return;
    if (!m_hung)
        emit hangs(
            QStringLiteral("%1 does not answer; its keys fail at once until it answers again")
                .arg(m_peer));
    m_hung = true;
    failPending(QStringLiteral("%1 does not answer").arg(m_peer));
    if (m_probe)
        m_probeTimer.start();
}

void PeerQueue::probeNow() {
    if (!m_hung) {
        m_probeTimer.stop();
        return;
    }
    if (m_threadBusy)
        return; // the late work still holds the thread: not back yet
    m_probing = true;
    dispatch([probe = m_probe] {
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
