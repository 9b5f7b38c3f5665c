// The TCP stand-in of the Windows infrared daemon: it sends what it is given
// to every client, drops them, and goes away and comes back on its port.

#include "support/lineclient.h"
#include "support/lirclines.h"
#include "support/lircstandin.h"

#include <QTest>

using nuvok::test::LineClient;
using nuvok::test::lircEventLine;
using nuvok::test::LircStandIn;

class LircStandInTest : public QObject {
    Q_OBJECT

private slots:
    void everyClientGetsEveryByteInOrder_data();
    void everyClientGetsEveryByteInOrder();
    void droppedClientsCanComeBackAndAStoppedPortRefuses();
};

void LircStandInTest::everyClientGetsEveryByteInOrder_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    const QByteArray up = lircEventLine(QStringLiteral("KEY_UP"), QStringLiteral("winlirc"));
    QTest::newRow("one event") << QList<QByteArray>{up};
    QTest::newRow("press and repeat") << QList<QByteArray>{
        up, lircEventLine(QStringLiteral("KEY_UP"), QStringLiteral("winlirc"), 1)};
    QTest::newRow("reply block between events")
        << QList<QByteArray>{up, nuvok::test::lircReplyBlock("VERSION", true, {"0.9.0"}), up};
    QTest::newRow("a line in two pieces") << QList<QByteArray>{up.left(10), up.mid(10)};
}

void LircStandInTest::everyClientGetsEveryByteInOrder() {
    QFETCH(QList<QByteArray>, pieces);
    LircStandIn standIn;
    QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    auto first = LineClient::overTcp(standIn.port());
    auto second = LineClient::overTcp(standIn.port());
    QVERIFY(first->waitForConnected() && second->waitForConnected());
    QVERIFY(standIn.waitForClients(2));

    QByteArray expected;
    for (const QByteArray& piece : pieces) {
        QCOMPARE(standIn.send(piece), 2);
        expected += piece;
        QTest::qWait(1); // the pieces go out apart
    }
    const qsizetype lines = expected.count('\n');
    QVERIFY2(first->waitForLines(lines) && second->waitForLines(lines), expected.constData());
    QCOMPARE(first->received(), expected);
    QCOMPARE(second->received(), expected);
}

void LircStandInTest::droppedClientsCanComeBackAndAStoppedPortRefuses() {
    LircStandIn standIn;
    QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    const quint16 port = standIn.port();
    auto dropped = LineClient::overTcp(port);
    QVERIFY(dropped->waitForConnected());
    QVERIFY(standIn.waitForClients(1));

    standIn.dropClients();
    QVERIFY(dropped->waitForEnd());
    QCOMPARE(standIn.clients(), 0);
    auto back = LineClient::overTcp(port);
    QVERIFY(back->waitForConnected());
    QVERIFY(standIn.waitForClients(1));
    QCOMPARE(standIn.accepted(), 2);

    standIn.stopListening();
    QVERIFY(back->waitForEnd());
    QVERIFY(!standIn.listening());
    auto refused = LineClient::overTcp(port);
    QVERIFY(refused->waitForEnd());
    QCOMPARE(refused->tcpError(), QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(standIn.send("x\n"), 0);

    QVERIFY2(standIn.listen(), qPrintable(standIn.problem()));
    QCOMPARE(standIn.port(), port);
    auto again = LineClient::overTcp(port);
    QVERIFY(again->waitForConnected());
    QVERIFY(standIn.waitForClients(1));
    const QByteArray line = lircEventLine(QStringLiteral("KEY_DOWN"), QStringLiteral("winlirc"));
    QCOMPARE(standIn.send(line), 1);
    QVERIFY(again->waitForLines(1));
    QCOMPARE(again->received(), line);
    QVERIFY(dropped->received().isEmpty() && back->received().isEmpty());
}

QTEST_MAIN(LircStandInTest)
#include "test_lircstandin.moc"
