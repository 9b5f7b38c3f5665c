#include "session/peerqueue.h"
#include "support/eventwait.h"
#include "support/gate.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using nuvok::test::Gate;
using nuvok::test::waitUntil;

namespace {

// A queue on its own thread with short times, and everything it answered.
struct Queue {
    // Shared with the work, which may outlive the queue on a thread left running.
    std::shared_ptr<Gate> gateHolder = std::make_shared<Gate>();
    Gate& gate = *gateHolder;
    QStringList answered; // "line" or "failed: why" / "not run: why", in order
    PeerQueue queue;

    explicit Queue(int capacity = 16, bool probed = true)
        : queue(QStringLiteral("the peer"), options(capacity),
                probed ? PeerQueue::Probe([gate = gateHolder] {
                    gate->pass();
                    return true;
                })
                       : PeerQueue::Probe()) {}

    static PeerQueue::Options options(int capacity) {
        PeerQueue::Options options;
        options.deadlineMs = 150;
        options.probeIntervalMs = 50;
        options.capacity = capacity;
        options.endWaitMs = 100;
        return options;
    }
    // Work that passes the gate, then writes its line, fails, or says that
    // the peer did not answer in time.
    enum class Ends { Done, Fails, Silent };
    void post(const QString& line, Ends ends = Ends::Done) {
        queue.post(
            [gate = gateHolder, line, ends] {
                gate->pass();
                PeerOutcome outcome;
                outcome.peerSilent = ends == Ends::Silent;
                if (ends != Ends::Done)
                    outcome.failure = line + QStringLiteral(" refused");
                else
                    outcome.lines = {line};
                return outcome;
            },
            [this](const PeerOutcome& outcome) {
                if (outcome.late)
                    answered += QStringLiteral("late: ") + outcome.lines.join(QLatin1Char(' '));
                else if (outcome.failure.isEmpty())
                    answered += outcome.lines;
                else
                    answered += (outcome.notRun ? "not run: " : "failed: ") + outcome.failure;
            });
    }
    bool waitForAnswers(int count) {
        return waitUntil([&] { return answered.size() >= count; }, 5000);
    }
};

} // namespace

class PeerQueueTest : public QObject {
    Q_OBJECT

private slots:
    void answersComeInTheOrderOfTheWork() {
        Queue q;
        for (const char* line : {"a", "b", "c"})
            q.post(QString::fromLatin1(line),
                   line[0] == 'b' ? Queue::Ends::Fails : Queue::Ends::Done);
        QVERIFY(q.answered.isEmpty()); // nothing is done in post itself
        QVERIFY(q.waitForAnswers(3));
        QCOMPARE(q.answered, (QStringList{"a", "failed: b refused", "c"}));
    }

    // A peer past its deadline fails its work at once, one answer per piece,
    // until the probe finds it again; then work reaches it as before.
    void aHungPeerFailsFastUntilTheProbeFindsIt() {
        Queue q;
        QSignalSpy hangs(&q.queue, &PeerQueue::hangs);
        QSignalSpy answers(&q.queue, &PeerQueue::answers);
        q.gate.shut();
        q.post(QStringLiteral("stuck"));
        q.post(QStringLiteral("waiting"));
        QVERIFY(q.waitForAnswers(2));
        QCOMPARE(q.answered, (QStringList{"not run: the peer did not answer within 0.15 s",
                                          "not run: the peer does not answer"}));
        QCOMPARE(hangs.count(), 1);
        q.post(QStringLiteral("meanwhile"));
        QCOMPARE(q.answered.size(), 3); // at once, in post
        QVERIFY(q.queue.hung());
        // The probe's own work waits at the gate as well: still hung.
        QTest::qWait(300);
        QVERIFY(q.queue.hung());
        QCOMPARE(answers.count(), 0);
        q.gate.open();
        QVERIFY(waitUntil([&] { return !q.queue.hung(); }, 5000));
        QCOMPARE(answers.count(), 1);
        // The work that missed its deadline was done after all, and says so.
        QCOMPARE(q.answered.size(), 4);
        QCOMPARE(q.answered.last(), QStringLiteral("late: stuck"));
        q.post(QStringLiteral("back"));
        QVERIFY(q.waitForAnswers(5));
        QCOMPARE(q.answered.last(), QStringLiteral("back"));
        QCOMPARE(hangs.count(), 1);
    }

    // Work that found the peer silent makes it hung as a missed deadline does.
    void aPeerThatDidNotAnswerInTimeIsHungAtOnce() {
        Queue q;
        QSignalSpy answers(&q.queue, &PeerQueue::answers);
        q.gate.shut();
        q.post(QStringLiteral("a"), Queue::Ends::Silent);
        q.post(QStringLiteral("b"));
        QVERIFY(waitUntil([&] { return q.gate.waiting() == 1; }));
        q.gate.open();
        QVERIFY(q.waitForAnswers(2));
        QCOMPARE(q.answered,
                 (QStringList{"failed: a refused", "not run: the peer does not answer"}));
        QVERIFY(waitUntil([&] { return answers.count() == 1; }));
        q.post(QStringLiteral("c"));
        QVERIFY(q.waitForAnswers(3));
        QCOMPARE(q.answered.last(), QStringLiteral("c"));
    }

    // Without a probe nothing asks the peer: its return is never announced,
    // and work reaches it again once the late work has let go of the thread.
    void withoutAProbeTheReturnIsNotAnnounced_data() {
        QTest::addColumn<bool>("lateWorkFails");
        QTest::newRow("late work done") << false;
        QTest::newRow("late work failed") << true;
    }
    void withoutAProbeTheReturnIsNotAnnounced() {
        QFETCH(bool, lateWorkFails);
        Queue q(16, false);
        QSignalSpy answers(&q.queue, &PeerQueue::answers);
        q.gate.shut();
        q.post(QStringLiteral("stuck"), lateWorkFails ? Queue::Ends::Fails : Queue::Ends::Done);
        QVERIFY(q.waitForAnswers(1));
        QTest::qWait(200); // probes would have run by now
        q.post(QStringLiteral("meanwhile"));
        QCOMPARE(q.answered.last(), QStringLiteral("not run: the peer does not answer"));
        q.gate.open();
        QVERIFY(waitUntil([&] { return !q.queue.hung(); }, 5000));
        q.post(QStringLiteral("back"));
        QVERIFY(waitUntil([&] { return q.answered.last() == QStringLiteral("back"); }, 5000));
        QCOMPARE(answers.count(), 0);
        QCOMPARE(q.answered.contains(QStringLiteral("late: stuck")), !lateWorkFails);
    }

    // Behind a piece in flight only `capacity` wait; the rest fail at once.
    void aFloodForABusyPeerIsBounded() {
        Queue q(2);
        q.gate.shut();
        for (int i = 0; i < 6; ++i)
            q.post(QString::number(i));
        QCOMPARE(q.answered, QStringList(3, "not run: too many keys are waiting for the peer"));
        q.gate.open();
        QVERIFY(q.waitForAnswers(6));
        QCOMPARE(q.answered.mid(3), (QStringList{"0", "1", "2"}));
    }

    // The end does not wait for a peer that holds its thread.
    void stoppingDoesNotWaitForAHungPeer() {
        Queue q;
        q.gate.shut();
        q.post(QStringLiteral("stuck"));
        q.post(QStringLiteral("waiting"));
        QVERIFY(waitUntil([&] { return q.gate.waiting() == 1; }, 5000));
        QElapsedTimer clock;
        clock.start();
        q.queue.stop();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(q.answered, QStringList{"not run: the program ended"});
        q.post(QStringLiteral("after"));
        QCOMPARE(q.answered.last(), QStringLiteral("not run: the program is ending"));
        QCOMPARE(PeerQueue::threadsLeft(), 1);
        q.gate.open(); // the left thread ends by itself, and is freed
        QVERIFY(waitUntil([] { return PeerQueue::threadsLeft() == 0; }));
    }
};

QTEST_GUILESS_MAIN(PeerQueueTest)
#include "test_peerqueue.moc"
