#include "app/f_nuvokrc.h"
#include "support/eventwait.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using nuvok::test::waitUntil;

namespace {

// A controller on loopback that records what each connection carried.
class FakeController : public QObject {
public:
    FakeController() {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const int index = int(connections.size());
                connections.append(QByteArray());
                open.append(true);
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, index] { connections[index] += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket, index] {
                    connections[index] += socket->readAll();
                    open[index] = false;
                    socket->deleteLater();
                });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    bool allClosed() const { return !open.contains(true); }
    QList<QByteArray> withData() const {
        QList<QByteArray> result;
        for (const QByteArray& c : connections)
            if (!c.isEmpty())
                result << c;
        return result;
    }

    QList<QByteArray> connections;
    QList<bool> open;

private:
    QTcpServer m_server;
};

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed again when probe goes
}

WindowOptions shortTiming(quint16 port) {
    WindowOptions options;
    options.controllerHost = QStringLiteral("127.0.0.1");
    options.controllerPort = port;
    options.senderTiming.pollStepSeconds = 0.01;
    options.senderTiming.pollCount = 30;
    options.senderTiming.closePauseSeconds = 0.02;
    return options;
}

} // namespace

class CommandSenderTest : public QObject {
    Q_OBJECT

private slots:
    void oneConnectionCarriesTheCommandAndLineEnd_data();
    void oneConnectionCarriesTheCommandAndLineEnd();
    void refusedConnectionPollsTheWholeWindowTwiceAndLogsNothing();
    void nestedSendDropsTheOuterConnectionAndTheRetryDelivers();
    void failingSocketOperationIsLoggedPerAttempt();
    void waitZeroReturnsAtOnceWithoutEvents();
    void waitHandlesEventsUntilTheDeadline();
    void retryAndEchoOnlyToggleTheirMarks();
};

void CommandSenderTest::oneConnectionCarriesTheCommandAndLineEnd_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("door pulse") << "setport 1.1" << QByteArray("setport 1.1\r\n");
    QTest::newRow("LED with on suffix") << "setport 3.1 " << QByteArray("setport 3.1 \r\n");
    QTest::newRow("empty command") << "" << QByteArray("\r\n");
}

void CommandSenderTest::oneConnectionCarriesTheCommandAndLineEnd() {
    QFETCH(QString, command);
    QFETCH(QByteArray, wire);
    FakeController controller;
    F_NUVOKrc window({}, shortTiming(controller.port()));
    const QString logBefore = window.logText();

    QVERIFY(window.sendCMD(command));
    QVERIFY(waitUntil([&] { return !controller.connections.isEmpty() && controller.allClosed(); }));
    QCOMPARE(controller.connections.size(), 1);
    QCOMPARE(controller.connections.first(), wire);
    QCOMPARE(window.Winsock2->State(), 0);
    QCOMPARE(window.logText(), logBefore);
}

void CommandSenderTest::refusedConnectionPollsTheWholeWindowTwiceAndLogsNothing() {
    WindowOptions options = shortTiming(closedPort());
    F_NUVOKrc window({}, options);
    const QString logBefore = window.logText();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!window.sendCMD(QStringLiteral("setport 1.1")));
    // No early exit on the error state: two attempts, each its whole window.
    const double minimum =
        2 * options.senderTiming.pollCount * options.senderTiming.pollStepSeconds;
    QVERIFY2(clock.elapsed() >= qint64(minimum * 1000),
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(window.logText(), logBefore);
    QCOMPARE(window.Winsock2->State(), 0);
}

void CommandSenderTest::nestedSendDropsTheOuterConnectionAndTheRetryDelivers() {
    FakeController controller;
    F_NUVOKrc window({}, shortTiming(controller.port()));
    bool nestedResult = false;
    // Fires inside the outer send's first poll, before it has seen the connection.
    QTimer::singleShot(0, &window, [&] { nestedResult = window.sendCMD(QStringLiteral("inner")); });
    QVERIFY(window.sendCMD(QStringLiteral("outer")));
    QVERIFY(nestedResult);
    QVERIFY(waitUntil([&] { return controller.allClosed() && controller.withData().size() == 2; }));
    QCOMPARE(controller.withData(), (QList<QByteArray>{"inner\r\n", "outer\r\n"}));
    QCOMPARE(controller.connections.size(), 3); // the dropped first attempt carried nothing
}

void CommandSenderTest::failingSocketOperationIsLoggedPerAttempt() {
    WindowOptions options = shortTiming(0); // port 0 cannot be connected to
    F_NUVOKrc window({}, options);
    const int linesBefore = window.t_receive->document()->blockCount();
    QVERIFY(!window.sendCMD(QStringLiteral("setport 1.1")));
    QCOMPARE(window.t_receive->document()->blockCount(), linesBefore + 2);
    QVERIFY(window.logText().endsWith(QStringLiteral("1 to 65535")));
}

void CommandSenderTest::waitZeroReturnsAtOnceWithoutEvents() {
    F_NUVOKrc window;
    bool fired = false;
    QTimer::singleShot(0, &window, [&] { fired = true; });
    window.wait(0);
    window.wait(-1);
    QVERIFY(!fired);
    QVERIFY(waitUntil([&] { return fired; }));
}

void CommandSenderTest::waitHandlesEventsUntilTheDeadline() {
    F_NUVOKrc window;
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    window.wait(0.8);
    QVERIFY2(clock.elapsed() >= 800, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(ticks >= 3);
}

void CommandSenderTest::retryAndEchoOnlyToggleTheirMarks() {
    F_NUVOKrc window;
    const QString logBefore = window.logText();
    QVERIFY(!window.m_retry->isChecked());
    QVERIFY(!window.m_echo->isChecked());
    window.m_retry_Click();
    QVERIFY(window.m_retry->isChecked());
    QVERIFY(!window.m_echo->isChecked());
    window.m_echo_Click();
    window.m_retry_Click();
    QVERIFY(!window.m_retry->isChecked());
    QVERIFY(window.m_echo->isChecked());
    QCOMPARE(window.logText(), logBefore);
}

QTEST_MAIN(CommandSenderTest)
#include "test_commandsender.moc"
