// The tests' real lircd: what its clients read for simulated buttons, over
// its socket and over TCP, and how it ends and comes back.

#include "support/eventwait.h"
#include "support/lineclient.h"
#include "support/lircdaemon.h"
#include "support/lirclines.h"
#include "support/missing.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using nuvok::test::LineClient;
using nuvok::test::LircDaemon;
using nuvok::test::lircEventLine;

namespace {

enum class Over { Socket, Tcp };

bool startOver(LircDaemon& daemon, Over over) {
    return over == Over::Socket ? daemon.start() : daemon.startWithTcp();
}

std::unique_ptr<LineClient> clientOf(const LircDaemon& daemon, Over over) {
    return over == Over::Socket ? LineClient::overSocket(daemon.socketPath())
                                : LineClient::overTcp(daemon.tcpPort());
}

} // namespace

Q_DECLARE_METATYPE(Over)
Q_DECLARE_METATYPE(LircDaemon::SocketFile)

class LircHarnessTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void eachEventIsOneLineWithCodeRepeatButtonAndRemote_data();
    void eachEventIsOneLineWithCodeRepeatButtonAndRemote();
    void aHeldButtonRepeatsWhileTheEventLoopRuns();
    void aReloadSendsItsBlockBetweenTwoEvents();
    void aRefusedButtonSendsNothing();
    void stopEndsTheConnectionsAndRestartServesAgain_data();
    void stopEndsTheConnectionsAndRestartServesAgain();
};

void LircHarnessTest::init() {
    const QString missing = LircDaemon::missing();
    if (!missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
}

void LircHarnessTest::eachEventIsOneLineWithCodeRepeatButtonAndRemote_data() {
    QTest::addColumn<Over>("over");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<QString>("repeatField");
    QTest::newRow("press") << Over::Socket << "KEY_VOLUMEUP"
                           << "nuvok" << 0 << "00";
    QTest::newRow("first repeat") << Over::Socket << "KEY_VOLUMEUP"
                                  << "nuvok" << 1 << "01";
    QTest::newRow("repeat 26 in hex") << Over::Socket << "KEY_UP"
                                      << "Remote-2" << 26 << "1a";
    QTest::newRow("press over TCP") << Over::Tcp << "KEY_PLAY"
                                    << "nuvok" << 0 << "00";
    QTest::newRow("repeat over TCP") << Over::Tcp << "KEY_PLAY"
                                     << "nuvok" << 2 << "02";
}

void LircHarnessTest::eachEventIsOneLineWithCodeRepeatButtonAndRemote() {
    QFETCH(Over, over);
    QFETCH(QString, button);
    QFETCH(QString, remote);
    QFETCH(int, repeat);
    QFETCH(QString, repeatField);
    LircDaemon daemon;
    QVERIFY2(startOver(daemon, over), qPrintable(daemon.log()));
    auto client = clientOf(daemon, over);
    QVERIFY2(client->waitForConnected(), qPrintable(client->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));

    QVERIFY2(daemon.press(button, remote, repeat), qPrintable(daemon.log()));
    QVERIFY2(client->waitForLines(1), qPrintable(daemon.log()));
    QCOMPARE(client->received(), lircEventLine(button, remote, repeat));
    const QRegularExpression format(
        QStringLiteral("^([0-9a-f]{16}) ([0-9a-f]{2,}) (\\S+) (\\S+)$"));
    const auto parts = format.match(QString::fromUtf8(client->lines().front()));
    QVERIFY2(parts.hasMatch(), client->lines().front().constData());
    QCOMPARE(parts.captured(2), repeatField);
    QCOMPARE(parts.captured(3), button);
    QCOMPARE(parts.captured(4), remote);
}

void LircHarnessTest::aHeldButtonRepeatsWhileTheEventLoopRuns() {
    LircDaemon daemon;
    QVERIFY2(daemon.start(), qPrintable(daemon.log()));
    auto client = LineClient::overSocket(daemon.socketPath());
    QVERIFY2(client->waitForConnected(), qPrintable(client->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(5);
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(daemon.hold(QStringLiteral("KEY_VOLUMEDOWN"), QStringLiteral("nuvok"), 3, 60),
             qPrintable(daemon.log()));
    QVERIFY(clock.elapsed() >= 3 * 60);
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));

    QVERIFY2(client->waitForLines(4), client->received().constData());
    QByteArray expected;
    for (int repeat = 0; repeat <= 3; ++repeat)
        expected +=
            lircEventLine(QStringLiteral("KEY_VOLUMEDOWN"), QStringLiteral("nuvok"), repeat);
    QCOMPARE(client->received(), expected);
}

void LircHarnessTest::aReloadSendsItsBlockBetweenTwoEvents() {
    LircDaemon daemon;
    QVERIFY2(daemon.start(), qPrintable(daemon.log()));
    auto client = LineClient::overSocket(daemon.socketPath());
    QVERIFY2(client->waitForConnected(), qPrintable(client->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));

    QVERIFY(daemon.press(QStringLiteral("KEY_UP"), QStringLiteral("nuvok")));
    QVERIFY2(daemon.reload(), qPrintable(daemon.log()));
    QVERIFY(daemon.press(QStringLiteral("KEY_DOWN"), QStringLiteral("nuvok")));
    QVERIFY2(client->waitForLines(5), client->received().constData());
    QCOMPARE(client->received(),
             lircEventLine(QStringLiteral("KEY_UP"), QStringLiteral("nuvok")) +
                 nuvok::test::lircSighupBlock() +
                 lircEventLine(QStringLiteral("KEY_DOWN"), QStringLiteral("nuvok")));
}

// lircd takes no name with a space; nothing reaches its clients then.
void LircHarnessTest::aRefusedButtonSendsNothing() {
    LircDaemon daemon;
    QVERIFY2(daemon.start(), qPrintable(daemon.log()));
    auto client = LineClient::overSocket(daemon.socketPath());
    QVERIFY2(client->waitForConnected(), qPrintable(client->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));

    QVERIFY(!daemon.press(QStringLiteral("KEY UP"), QStringLiteral("nuvok")));
    QVERIFY2(daemon.log().contains(QStringLiteral("KEY UP nuvok")), qPrintable(daemon.log()));
    QVERIFY(daemon.press(QStringLiteral("KEY_OK"), QStringLiteral("nuvok")));
    QVERIFY2(client->waitForLines(1), qPrintable(daemon.log()));
    QCOMPARE(client->received(), lircEventLine(QStringLiteral("KEY_OK"), QStringLiteral("nuvok")));
    QCOMPARE(daemon.clientsAccepted(), 1);
}

void LircHarnessTest::stopEndsTheConnectionsAndRestartServesAgain_data() {
    QTest::addColumn<Over>("over");
    QTest::addColumn<LircDaemon::SocketFile>("file");
    QTest::addColumn<QLocalSocket::LocalSocketError>("socketError");
    QTest::newRow("socket removed")
        << Over::Socket << LircDaemon::SocketFile::Remove << QLocalSocket::ServerNotFoundError;
    QTest::newRow("socket file left")
        << Over::Socket << LircDaemon::SocketFile::Keep << QLocalSocket::ConnectionRefusedError;
    QTest::newRow("TCP") << Over::Tcp << LircDaemon::SocketFile::Remove
                         << QLocalSocket::ServerNotFoundError;
}

void LircHarnessTest::stopEndsTheConnectionsAndRestartServesAgain() {
    QFETCH(Over, over);
    QFETCH(LircDaemon::SocketFile, file);
    QFETCH(QLocalSocket::LocalSocketError, socketError);
    LircDaemon daemon;
    QVERIFY2(startOver(daemon, over), qPrintable(daemon.log()));
    const QString socketPath = daemon.socketPath();
    const quint16 port = daemon.tcpPort();
    auto before = clientOf(daemon, over);
    QVERIFY2(before->waitForConnected(), qPrintable(before->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));

    daemon.stop(file);
    QVERIFY(!daemon.running());
    QVERIFY2(before->waitForEnd(), "the client did not see lircd end");
    QVERIFY(!daemon.press(QStringLiteral("KEY_UP"), QStringLiteral("nuvok")));
    auto refused = LineClient::overSocket(socketPath);
    QVERIFY(refused->waitForEnd());
    QCOMPARE(refused->localError(), socketError);
    if (over == Over::Tcp) {
        auto refusedTcp = LineClient::overTcp(port);
        QVERIFY(refusedTcp->waitForEnd());
        QCOMPARE(refusedTcp->tcpError(), QAbstractSocket::ConnectionRefusedError);
    }

    QVERIFY2(daemon.restart(), qPrintable(daemon.log()));
    QCOMPARE(daemon.socketPath(), socketPath);
    QCOMPARE(daemon.tcpPort(), port);
    auto after = clientOf(daemon, over);
    QVERIFY2(after->waitForConnected(), qPrintable(after->errorString()));
    QVERIFY2(daemon.waitForClients(1), qPrintable(daemon.log()));
    QVERIFY2(daemon.press(QStringLiteral("KEY_UP"), QStringLiteral("nuvok")),
             qPrintable(daemon.log()));
    QVERIFY2(after->waitForLines(1), qPrintable(daemon.log()));
    QCOMPARE(after->received(), lircEventLine(QStringLiteral("KEY_UP"), QStringLiteral("nuvok")));
    QVERIFY(before->received().isEmpty());
}

QTEST_MAIN(LircHarnessTest)
#include "test_lircharness.moc"
