// The real program and the LED and door controller: the stand-in answers,
// refuses, stays silent or comes up late, on 127.0.0.1, and the keys come as
// UDP datagrams from this process, timed on the stand-in's clock.

#include "e2e/programrun.h"
#include "net/controllerlink.h"
#include "remote/keymessage.h"
#include "support/controllerstandin.h"
#include "support/missing.h"

#include <QTest>

using namespace nuvok::e2e;
using nuvok::test::ControllerStandIn;
using Mode = ControllerStandIn::Mode;

namespace {

// The program on a port of its own, its controller the stand-in. Keys come
// from 127.0.0.1, or from a second handset on 127.0.0.2.
struct Session {
    explicit Session(const ControllerStandIn& controller, const QString& settings = {},
                     const QString& protocol = QStringLiteral("UDP"))
        : port(quint16(freePort())),
          program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=%2\n"
                                 "ControllerHost=127.0.0.1\nControllerPort=%3\n%4")
                      .arg(port)
                      .arg(protocol)
                      .arg(controller.port())
                      .arg(settings)) {
        handset.bind(QHostAddress::LocalHost, 0);
        other.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
    }

    bool start() { return port != 0 && program.start({}) && waitForListener(program, port); }

    // One key message as one datagram.
    void press(int code, QUdpSocket* from = nullptr) {
        const std::string message = nuvok::keyMessage(static_cast<unsigned char>(code));
        (from ? from : &handset)
            ->writeDatagram(message.data(), qint64(message.size()), QHostAddress::LocalHost, port);
    }
    // Keys a little apart, as fingers press them; events are handled meanwhile.
    void tap(std::initializer_list<int> codes, int apartMs = 60, QUdpSocket* from = nullptr) {
        for (int code : codes) {
            press(code, from);
            QTest::qWait(apartMs);
        }
    }
    bool waitForLine(const QString& line) { return program.waitForLine(line); }
    QString log() { return program.lines().join(QLatin1Char('\n')); }

    quint16 port;
    Program program;
    QUdpSocket handset;
    QUdpSocket other;
};

constexpr int kMenu = nuvok::kKeyMenu;
constexpr int kLeft = nuvok::kKeyLeft;
constexpr int kDown = nuvok::kKeyDown;
constexpr int kUp = nuvok::kKeyUp;

const QString kDoorGap = QStringLiteral(
    "A UDP datagram can open the door, and anyone on the network can forge its sender: to keep "
    "the door for a trusted handset, set DoorOverTcpOnly to true, or listen by TCP and set "
    "ControllerHandsets");

QString notDelivered(const ControllerStandIn& controller, const QString& text,
                     const QString& reason) {
    return QStringLiteral("Controller 127.0.0.1:%1: \"%2\" not delivered (%3)")
        .arg(controller.port())
        .arg(text, reason);
}

} // namespace

class ControllerEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void ledsWalkedQuicklyAllArriveInOrder();
    void afterAnOutageTheLaterOffIsTheLastWord();
    void aRefusalIsNamedAtOnceAndKeysGoOn();
    void endRequestWithACommandPendingEndsAtOnce();
    void endDuringTheDoorPulseClosesTheDoor();
    void doorPulseKeepsItsLengthWhileKeysCome();
    void onlyTrustedHandsetsReachTheController();
    void doorOverTcpOnlyKeepsOutputOneForTcp_data();
    void doorOverTcpOnlyKeepsOutputOneForTcp();
};

// Seven LEDs, 50 ms apart: seven connections with one command each, in
// order, the last one soon after the last key.
void ControllerEndToEndTest::ledsWalkedQuicklyAllArriveInOrder() {
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({kMenu, kLeft});
    QVERIFY(s.waitForLine(QStringLiteral("Mode:SetLeds")));
    qint64 lastKeyMs = 0;
    for (char led = '1'; led <= '7'; ++led) {
        s.press(led);
        lastKeyMs = controller.elapsedMs();
        QTest::qWait(50);
    }
    QVERIFY2(controller.waitForCommands(7), qPrintable(s.log()));
    QTest::qWait(300); // nothing more comes
    QCOMPARE(controller.commands(),
             (QList<QByteArray>{"setport 1.1 \r\n", "setport 2.1 \r\n", "setport 3.1 \r\n",
                                "setport 4.1 \r\n", "setport 5.1 \r\n", "setport 6.1 \r\n",
                                "setport 7.1 \r\n"}));
    QCOMPARE(controller.connections().size(), std::size_t(7));
    const qint64 lag = controller.connections().back().acceptedMs - lastKeyMs;
    QVERIFY2(lag <= 500, qPrintable(QString::number(lag)));
}

// LED 3 on while the controller refuses; it comes back, and the user
// switches LED 3 off: the off is the last thing the controller hears.
void ControllerEndToEndTest::afterAnOutageTheLaterOffIsTheLastWord() {
    ControllerStandIn controller(Mode::Refuses);
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({kMenu, kLeft, '3'});
    QVERIFY2(s.waitForLine(notDelivered(controller, QStringLiteral("setport 3.1 "),
                                        QStringLiteral("connection refused"))),
             qPrintable(s.log()));
    controller.answer();
    s.tap({kDown, '3'});
    QVERIFY2(controller.waitForCommands(1), qPrintable(s.log()));
    // The on was given up above, so nothing else is on its way.
    QTest::qWait(300);
    QCOMPARE(controller.commands(), QList<QByteArray>{"setport 3.0 \r\n"});
}

// A refused door pulse: "Open Door" as ever, the failure line soon after, and
// a volume key right after the door key is handled at once.
void ControllerEndToEndTest::aRefusalIsNamedAtOnceAndKeysGoOn() {
    ControllerStandIn controller(Mode::Refuses);
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({'9'});
    QElapsedTimer clock;
    clock.start();
    s.press('9');
    s.press(kUp);
    QVERIFY2(s.waitForLine(QStringLiteral("Open Door")), qPrintable(s.log()));
    const QString upLine = remoteLine(u'\u240e');
    QVERIFY2(s.waitForLine(upLine), qPrintable(s.log()));
    // Up is handled: its own line and the volume's (a step, or why not) follow.
    QVERIFY2(
        waitUntil([&] { return s.program.lines().indexOf(upLine) + 1 < s.program.lines().size(); },
                  1000),
        qPrintable(s.log()));
    QVERIFY2(clock.elapsed() <= 1500, qPrintable(QString::number(clock.elapsed())));
    const QString failure = notDelivered(controller, QStringLiteral("setport 1.1"),
                                         QStringLiteral("connection refused"));
    QVERIFY2(waitUntil([&] { return s.program.lines().contains(failure); }, 3000),
             qPrintable(s.log()));
    QVERIFY2(clock.elapsed() <= 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.program.lines().count(failure), 1);
}

void ControllerEndToEndTest::endRequestWithACommandPendingEndsAtOnce() {
    ControllerStandIn controller(Mode::Silent);
    if (!controller.ready())
        NUVOK_SKIP_MISSING(controller.problem());
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({kMenu, kLeft, '3'});
    QVERIFY2(s.waitForLine(QStringLiteral("Remote: 3")), qPrintable(s.log()));
    const QString ended = endBySignal(s.program);
    QVERIFY2(ended.isEmpty(), qPrintable(ended));
    QVERIFY2(s.program.lines().contains(notDelivered(controller, QStringLiteral("setport 3.1 "),
                                                     QStringLiteral("the program ended"))),
             qPrintable(s.log()));
}

// The door opener is a lock: an end within its pulse still sends the off.
void ControllerEndToEndTest::endDuringTheDoorPulseClosesTheDoor() {
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({'9', '9'});
    QVERIFY2(controller.waitForCommands(1), qPrintable(s.log()));
    const QString ended = endBySignal(s.program);
    QVERIFY2(ended.isEmpty(), qPrintable(ended));
    QVERIFY2(controller.waitForCommands(2), qPrintable(s.log()));
    QCOMPARE(controller.commands(), (QList<QByteArray>{"setport 1.1\r\n", "setport 1.0\r\n"}));
}

// 9 9, then Menu + Left, 3, Menu + Left, 4 during the pulse: the LED commands
// go out as they come, and the door's off 0.8 s after its on.
void ControllerEndToEndTest::doorPulseKeepsItsLengthWhileKeysCome() {
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller);
    QVERIFY2(s.start(), qPrintable(s.log()));
    s.tap({'9'});
    s.tap({'9', kMenu, kLeft, '3', kMenu, kLeft, '4'}, 80);
    QVERIFY2(controller.waitForCommands(4), qPrintable(s.log()));
    QCOMPARE(controller.commands(), (QList<QByteArray>{"setport 1.1\r\n", "setport 3.1 \r\n",
                                                       "setport 4.1 \r\n", "setport 1.0\r\n"}));
    const auto& sent = controller.connections();
    const qint64 pulse = sent.back().acceptedMs - sent.front().acceptedMs;
    QVERIFY2(pulse >= 800 - nuvok::test::kStandInLatenessMs && pulse <= 1300,
             qPrintable(QString::number(pulse)));
    QVERIFY(s.program.lines().contains(QStringLiteral("Open Door")));
}

// Only 127.0.0.1 may make the controller act: the keys of 127.0.0.2 do
// everything else, and a door begun by one handset is not opened by the other.
void ControllerEndToEndTest::onlyTrustedHandsetsReachTheController() {
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller, QStringLiteral("ControllerHandsets=127.0.0.1\n"));
    QVERIFY2(s.start(), qPrintable(s.log()));
    const QString notTrusted = QStringLiteral("127.0.0.2 is not in ControllerHandsets");
    s.tap({kMenu, kLeft, '3', '9', '9'}, 60, &s.other);
    QVERIFY2(s.waitForLine(QStringLiteral("The door stays shut: ") + notTrusted),
             qPrintable(s.log()));
    s.tap({'9'}, 60, &s.other);
    s.tap({'9'});
    QVERIFY2(s.waitForLine(QStringLiteral("The door stays shut: its first \"9\" came from "
                                          "127.0.0.2 by UDP, the second from 127.0.0.1 by UDP")),
             qPrintable(s.log()));
    QTest::qWait(300);
    QCOMPARE(controller.commands(), QList<QByteArray>{});
    const QStringList lines = s.program.lines();
    QVERIFY2(lines.contains(QStringLiteral("Mode:SetLeds")), qPrintable(s.log()));
    QVERIFY2(lines.contains("\"setport 3.1 \" not sent to the controller: " + notTrusted),
             qPrintable(s.log()));
    // Listening by UDP, a datagram forged from 127.0.0.1 would still open it.
    QCOMPARE(lines.count(kDoorGap), 1);
    s.tap({'9', '9'});
    QVERIFY2(controller.waitForCommands(2), qPrintable(s.log()));
    QCOMPARE(controller.commands(), (QList<QByteArray>{"setport 1.1\r\n", "setport 1.0\r\n"}));
}

void ControllerEndToEndTest::doorOverTcpOnlyKeepsOutputOneForTcp_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::newRow("UDP") << false << QList<QByteArray>{"setport 2.1 \r\n"};
    QTest::newRow("TCP") << true
                         << QList<QByteArray>{"setport 1.0\r\n", "setport 1.1\r\n",
                                              "setport 1.1 \r\n", "setport 2.1 \r\n"};
}

// Output 1 opens the door: 9 9 and LED 1 on drive it only for a TCP handset.
void ControllerEndToEndTest::doorOverTcpOnlyKeepsOutputOneForTcp() {
    QFETCH(bool, tcp);
    QFETCH(QList<QByteArray>, commands);
    ControllerStandIn controller;
    QVERIFY2(controller.ready(), qPrintable(controller.problem()));
    Session s(controller, QStringLiteral("DoorOverTcpOnly=true\n"),
              tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"));
    const std::initializer_list<int> keys{'9', '9', kMenu, kLeft, kUp, '1', '2'};
    QTcpSocket handset;
    if (tcp) {
        QVERIFY(s.program.start({}));
        QVERIFY2(waitUntil([&] {
                     handset.abort();
                     handset.connectToHost(QHostAddress::LocalHost, s.port);
                     return handset.waitForConnected(500);
                 }),
                 qPrintable(s.log()));
        for (int code : keys) {
            handset.write(QByteArray::fromStdString(nuvok::keyMessage(uchar(code))));
            QTest::qWait(60);
        }
    } else {
        QVERIFY2(s.start(), qPrintable(s.log()));
        s.tap(keys);
    }
    QVERIFY2(controller.waitForCommands(commands.size()), qPrintable(s.log()));
    QTest::qWait(300); // nothing more comes
    QList<QByteArray> sent = controller.commands();
    std::sort(sent.begin(), sent.end()); // the door's off may come before or after the LEDs
    QCOMPARE(sent, commands);
    const QStringList lines = s.program.lines();
    const QString byUdp =
        QStringLiteral("DoorOverTcpOnly is on, and the key came by UDP from 127.0.0.1");
    QCOMPARE(lines.contains(QStringLiteral("The door stays shut: ") + byUdp), !tcp);
    QCOMPARE(lines.contains("\"setport 1.1 \" not sent to the controller: " + byUdp), !tcp);
    QCOMPARE(lines.count(kDoorGap), 0);
}

QTEST_GUILESS_MAIN(ControllerEndToEndTest)
#include "test_e2e_controller.moc"
