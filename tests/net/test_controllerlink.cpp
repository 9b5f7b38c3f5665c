
#include "net/controllerlink.h"
#include "support/controllerstandin.h"
#include "support/eventwait.h"
#include "support/missing.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using nuvok::test::ControllerStandIn;
using nuvok::test::waitUntil;
using Mode = ControllerStandIn::Mode;

namespace {

// A link to the stand-in; tests that wait for a silent controller shorten
// the deadline.
struct Link {
    explicit Link(const ControllerStandIn& controller, int deadlineMs = 3000) {
        link.setController(QStringLiteral("127.0.0.1"), controller.port());
        link.setDeadlineMs(deadlineMs);
    }
    ControllerLink link;
    QSignalSpy delivered{&link, &ControllerLink::delivered};
    QSignalSpy failed{&link, &ControllerLink::failed};

    bool waitUntilThrough(int count, int timeoutMs = 10000) {
        return waitUntil([&] { return delivered.size() + failed.size() >= count; }, timeoutMs);
    }
    QStringList texts(const QSignalSpy& spy, int column = 1) const {
        QStringList result;
        for (const QList<QVariant>& signal : spy)
            result << signal.at(column).toString();
        return result;
    }
};

QList<QByteArray> onTheWire(const QStringList& texts) {
    QList<QByteArray> wire;
    for (const QString& text : texts)
        wire << text.toLatin1() + "\r\n";
    return wire;
}

const QStringList kSevenLeds{"setport 1.1 ", "setport 2.1 ", "setport 3.1 ", "setport 4.1 ",
                             "setport 5.1 ", "setport 6.1 ", "setport 7.1 "};

} // namespace

class ControllerLinkTest : public QObject {
    Q_OBJECT

private slots:
    void eachCommandHasAConnectionOfItsOwn_data();
    void eachCommandHasAConnectionOfItsOwn();
    void commandsAskedTogetherGoOutOneByOneInOrder();
    void aFailedCommandIsGivenUpAfterOneRetryAndNamed_data();
    void aFailedCommandIsGivenUpAfterOneRetryAndNamed();
    void aLaterCommandNeverOvertakesAnEarlierOne();
    void aControllerThatCannotBeReachedIsNamedOnce();
    void droppingCutsTheCommandInFlightAndSaysNothing();
    void aFullQueueRefusesAllButTheCommandsThatMustGo();
    void theLogLineNamesCommandsControllerAndReason_data();
    void theLogLineNamesCommandsControllerAndReason();
};

void ControllerLinkTest::eachCommandHasAConnectionOfItsOwn_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("door pulse") << "setport 1.1";
    QTest::newRow("LED with on suffix") << "setport 3.1 ";
    QTest::newRow("empty command") << "";
}

void ControllerLinkTest::eachCommandHasAConnectionOfItsOwn() {
    QFETCH(QString, command);
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Link l(controller);
    const quint64 id = l.link.send(command);
    QCOMPARE(l.delivered.size(), 0); // never from inside send
    QVERIFY(l.waitUntilThrough(1));
    QCOMPARE(l.failed.size(), 0);
    QCOMPARE(l.delivered.first().at(0).toULongLong(), id);
    QVERIFY(controller.waitForCommands(1));
    QCOMPARE(controller.connections().size(), std::size_t(1));
    QCOMPARE(controller.connections().front().data, onTheWire({command}).first());
    QCOMPARE(l.link.pending(), 0);
}

// Asked for faster than the controller takes them, none is lost and none
// overtakes another: one connection each, in the order asked.
void ControllerLinkTest::commandsAskedTogetherGoOutOneByOneInOrder() {
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Link l(controller);
    for (const QString& text : kSevenLeds)
        l.link.send(text);
    QCOMPARE(l.link.pending(), 7);
    QVERIFY(l.waitUntilThrough(7));
    QCOMPARE(l.texts(l.delivered), kSevenLeds);
    QVERIFY(controller.waitForCommands(7));
    QCOMPARE(controller.connections().size(), std::size_t(7));
    QCOMPARE(controller.commands(), onTheWire(kSevenLeds));
}

void ControllerLinkTest::aFailedCommandIsGivenUpAfterOneRetryAndNamed_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("leastMs");
    QTest::addColumn<int>("mostMs");
    // Refused: both attempts end at once. Silent: each attempt its deadline.
    QTest::newRow("refused") << int(Mode::Refuses) << "connection refused" << 0 << 1000;
    QTest::newRow("silent") << int(Mode::Silent) << "no connection within 0.4 s" << 800 << 2500;
}

void ControllerLinkTest::aFailedCommandIsGivenUpAfterOneRetryAndNamed() {
    QFETCH(int, mode);
    QFETCH(QString, reason);
    QFETCH(int, leastMs);
    QFETCH(int, mostMs);
    ControllerStandIn controller{Mode(mode)};
    if (!controller.ready())
        NUVOK_SKIP_MISSING(controller.problem());
    Link l(controller, 400);
    QElapsedTimer clock;
    clock.start();
    l.link.send(QStringLiteral("setport 3.1 "));
    l.link.send(QStringLiteral("setport 4.1 "));
    QVERIFY(l.waitUntilThrough(1));
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= leastMs && took <= mostMs, qPrintable(QString::number(took)));
    QCOMPARE(l.delivered.size(), 0);
    QCOMPARE(l.failed.first().at(1).toString(), QStringLiteral("setport 3.1 "));
    QCOMPARE(l.failed.first().at(2).toString(), reason);
    // The next command is tried in its turn.
    QVERIFY(l.waitUntilThrough(2));
    QCOMPARE(l.texts(l.failed), (QStringList{"setport 3.1 ", "setport 4.1 "}));
    QCOMPARE(controller.connections().size(), std::size_t(0));
}

// The controller is off the network while two commands are asked for and
// comes back while the first one still waits for its connection: the first
// goes out first, and the second after it.
void ControllerLinkTest::aLaterCommandNeverOvertakesAnEarlierOne() {
    ControllerStandIn controller(Mode::Silent);
    if (!controller.ready())
        NUVOK_SKIP_MISSING(controller.problem());
    Link l(controller);
    l.link.send(QStringLiteral("setport 3.1 "));
    QTest::qWait(100);
    l.link.send(QStringLiteral("setport 3.0 "));
    controller.answer(); // the system repeats the connection request a second later
    QVERIFY(l.waitUntilThrough(2));
    QCOMPARE(l.failed.size(), 0);
    QVERIFY(controller.waitForCommands(2));
    QCOMPARE(controller.commands(), onTheWire({"setport 3.1 ", "setport 3.0 "}));
}

// A port no controller can have: one failure for the command, with the reason.
void ControllerLinkTest::aControllerThatCannotBeReachedIsNamedOnce() {
    ControllerLink link;
    QSignalSpy failed(&link, &ControllerLink::failed);
    link.setController(QStringLiteral("127.0.0.1"), 0);
    link.send(QStringLiteral("setport 1.1"));
    QVERIFY(waitUntil([&] { return !failed.isEmpty(); }));
    QTest::qWait(50);
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().at(2).toString(), QStringLiteral("a port number runs from 1 to 65535"));
}

void ControllerLinkTest::droppingCutsTheCommandInFlightAndSaysNothing() {
    ControllerStandIn controller(Mode::Silent);
    if (!controller.ready())
        NUVOK_SKIP_MISSING(controller.problem());
    Link l(controller);
    l.link.send(QStringLiteral("setport 1.1"));
    l.link.send(QStringLiteral("setport 2.1 "));
    QTest::qWait(50);
    QCOMPARE(l.link.dropAll(), (QStringList{"setport 1.1", "setport 2.1 "}));
    QCOMPARE(l.link.pending(), 0);
    controller.answer();
    QTest::qWait(1500); // past the system's repeat of the connection request
    QCOMPARE(l.delivered.size() + l.failed.size(), 0);
    QCOMPARE(controller.commands(), QList<QByteArray>{});
    // The link goes on with what comes next.
    l.link.send(QStringLiteral("setport 5.0 "));
    QVERIFY(l.waitUntilThrough(1));
    QCOMPARE(l.texts(l.delivered), QStringList{"setport 5.0 "});
}

void ControllerLinkTest::aFullQueueRefusesAllButTheCommandsThatMustGo() {
    ControllerStandIn controller(Mode::Silent);
    if (!controller.ready())
        NUVOK_SKIP_MISSING(controller.problem());
    Link l(controller);
    l.link.send(QStringLiteral("in flight"));
    for (qsizetype i = 0; i < ControllerLink::kMaxWaiting; ++i)
        l.link.send(QStringLiteral("setport 2.1 "));
    const quint64 refused = l.link.send(QStringLiteral("setport 3.1 "));
    l.link.send(QStringLiteral("setport 1.0"), ControllerLink::Admission::Always);
    QCOMPARE(l.link.pending(), ControllerLink::kMaxWaiting + 2);
    QVERIFY(waitUntil([&] { return l.failed.size() == 1; }));
    QCOMPARE(l.failed.first().at(0).toULongLong(), refused);
    QCOMPARE(l.failed.first().at(2).toString(),
             QStringLiteral("%1 commands are waiting already").arg(ControllerLink::kMaxWaiting));
    l.link.dropAll();
}

void ControllerLinkTest::theLogLineNamesCommandsControllerAndReason_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("line");
    QTest::newRow("one") << "127.0.0.9" << QStringList{"setport 3.1 "}
                         << R"(Controller 127.0.0.9:50290: "setport 3.1 " not delivered (why))";
    QTest::newRow("two") << "localhost" << QStringList{"setport 3.1 ", "setport 1.0"}
                         << R"(Controller localhost:50290: "setport 3.1 ", "setport 1.0" )"
                            R"(not delivered (why))";
    QTest::newRow("IPv6") << "::1" << QStringList{"setport 1.1"}
                          << R"(Controller [::1]:50290: "setport 1.1" not delivered (why))";
}

void ControllerLinkTest::theLogLineNamesCommandsControllerAndReason() {
    QFETCH(QString, host);
    QFETCH(QStringList, texts);
    QFETCH(QString, line);
    ControllerLink link;
    link.setController(host, 50290);
    QCOMPARE(link.notDeliveredLine(texts, QStringLiteral("why")), line);
}

QTEST_GUILESS_MAIN(ControllerLinkTest)
#include "test_controllerlink.moc"
