#include "session/peerqueue.h"
#include "support/eventwait.h"
#include "support/gate.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

using nuvok::test::Gate;
using nuvok::test::waitUntil;

namespace {

// A queue on its own thread with short times, and everything it answered.
struct Queue {
    // Shared with the work, which may outlive the queue on a thread left running.
    std::shared_ptr<Gate> gateHolder = std::make_shared<Gate>();
    Gate& gate = *gateHolder;
    // The probe's own gate, how often it was asked and what it answers.
    struct Probing {
        Gate gate;
        std::atomic<int> asked = 0;
        std::atomic<bool> answers = true;
    };
    std::shared_ptr<Probing> probing = std::make_shared<Probing>();
    QStringList answered; // "line" or "failed: why" / "not run: why", in order
    PeerQueue queue;

    // `probed`: with a probe that passes both gates (the work's and its own).
    explicit Queue(int capacity = 16, bool probed = true, int probeIntervalMs = 50)
        : queue(QStringLiteral("the peer"), options(capacity, probeIntervalMs),
                probed ? PeerQueue::Probe([gate = gateHolder, probing = probing] {
                    ++probing->asked;
                    gate->pass();
                    probing->gate.pass();
                    return probing->answers.load();
                })
                       : PeerQueue::Probe()) {
        // In the same list as the work's answers, to see what comes first.
        QObject::connect(&queue, &PeerQueue::answers,
                         [this](const QString& text) { answered += text; });
    }

    static constexpr int kDemandGapMs = 250;
    static constexpr int kDemandWaitMs = 200;
    static PeerQueue::Options options(int capacity, int probeIntervalMs) {
        PeerQueue::Options options;
        options.deadlineMs = 150;
        options.probeIntervalMs = probeIntervalMs;
        options.demandGapMs = kDemandGapMs;
        options.demandWaitMs = kDemandWaitMs;
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
    // Hung, with its thread free: its work said that the peer did not answer.
    bool makeHung() {
        post(QStringLiteral("silent"), Ends::Silent);
        return waitForAnswers(1) && queue.hung();
    }
};

const QString kAgain = QStringLiteral("the peer answers again");
const QString kNoAnswer = QStringLiteral("not run: the peer does not answer");

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

    // A peer past its deadline fails the work waiting for it at once, one
    // answer per piece; a key that comes while it still hangs fails after
    // its short wait for an answer. The probe finds it again; then work
    // reaches it as before.
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
        QElapsedTimer clock;
        clock.start();
        q.post(QStringLiteral("meanwhile"));
        QVERIFY(q.waitForAnswers(3));
        QVERIFY2(clock.elapsed() >= Queue::kDemandWaitMs,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(q.answered.last(), kNoAnswer);
        QVERIFY(q.queue.hung());
        // The probe's own work waits at the gate as well: still hung.
        QTest::qWait(300);
        QVERIFY(q.queue.hung());
        QCOMPARE(answers.count(), 0);
        q.gate.open();
        QVERIFY(waitUntil([&] { return !q.queue.hung(); }, 5000));
        QCOMPARE(answers.count(), 1);
        // The work that missed its deadline was done after all, says so, and
        // is the peer's answer.
        QCOMPARE(q.answered.mid(3), (QStringList{"late: stuck", kAgain}));
        q.post(QStringLiteral("back"));
        QVERIFY(q.waitForAnswers(6));
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
        QCOMPARE(q.answered.mid(0, 2),
                 (QStringList{"failed: a refused", "not run: the peer does not answer"}));
        QVERIFY(waitUntil([&] { return answers.count() == 1; }));
        q.post(QStringLiteral("c"));
        QVERIFY(q.waitForAnswers(4));
        QCOMPARE(q.answered.last(), QStringLiteral("c"));
    }

    // A key for a hung peer asks it at once, on the peer's thread, and waits
    // a moment for the answer, the keys after it queued behind it: an answer
    // lets them through in their order ("… answers again" first), silence or
    // no answer in time fails each with its line. With a probe, or, without
    // one, the first key's own work asking.
    void aKeyAsksAHungPeer_data() {
        QTest::addColumn<bool>("probed");
        QTest::addColumn<QString>("peer"); // answers, silent or hangs
        QTest::addColumn<QStringList>("expected");
        const QStringList through{kAgain, "a", "b", "c"}, failed(3, kNoAnswer);
        for (bool probed : {true, false}) {
            const QByteArray how = probed ? "probe " : "own work ";
            QTest::newRow(how + "answers") << probed << "answers" << through;
            QTest::newRow(how + "hangs") << probed << "hangs" << failed;
        }
        QTest::newRow("probe silent") << true << "silent" << failed;
        QTest::newRow("own work silent")
            << false << "silent" << QStringList{"failed: a refused", kNoAnswer, kNoAnswer};
    }
    void aKeyAsksAHungPeer() {
        QFETCH(bool, probed);
        QFETCH(QString, peer);
        QFETCH(QStringList, expected);
        Queue q(16, probed, 60000); // no probe in the background
        QVERIFY(q.makeHung());
        q.probing->answers = peer != QLatin1String("silent");
        const bool hangs = peer == QLatin1String("hangs");
        if (hangs) {
            q.gate.shut();
            q.probing->gate.shut();
        }
        QElapsedTimer clock;
        clock.start();
        q.post("a", !probed && !q.probing->answers ? Queue::Ends::Silent : Queue::Ends::Done);
        q.post("b");
        q.post("c");
        QCOMPARE(q.answered.size(), 1); // nothing at once, in post
        QVERIFY(q.waitForAnswers(1 + expected.size()));
        QCOMPARE(q.answered.mid(1), expected);
        QCOMPARE(q.probing->asked.load(), probed ? 1 : 0);
        // Only silence in time cuts the wait short.
        QCOMPARE(clock.elapsed() >= Queue::kDemandWaitMs, hangs);
        QCOMPARE(q.queue.hung(), peer != QLatin1String("answers"));
        q.gate.open();
        q.probing->gate.open();
    }

    // A peer asked within the gap is not asked again: a key right after a
    // silent answer fails at once, one while the question is out waits for
    // its answer, and one after the gap asks anew.
    void aHungPeerIsNotAskedTwiceWithinTheGap() {
        Queue q(16, true, 60000);
        QVERIFY(q.makeHung());
        q.probing->answers = false;
        q.post(QStringLiteral("a"));
        QVERIFY(q.waitForAnswers(2));
        q.post(QStringLiteral("b"));
        QCOMPARE(q.answered.mid(1), (QStringList{kNoAnswer, kNoAnswer})); // b at once
        QCOMPARE(q.probing->asked.load(), 1);
        QTest::qWait(Queue::kDemandGapMs + 50);
        q.probing->gate.shut();
        q.post(QStringLiteral("c"));
        QVERIFY(waitUntil([&] { return q.probing->asked.load() == 2; }));
        q.post(QStringLiteral("d"));
        q.probing->answers = true;
        q.probing->gate.open();
        QVERIFY(q.waitForAnswers(6));
        QCOMPARE(q.answered.mid(3), (QStringList{kAgain, "c", "d"}));
        QCOMPARE(q.probing->asked.load(), 2);
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
