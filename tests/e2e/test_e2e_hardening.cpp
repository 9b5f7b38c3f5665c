// The real program against inputs that try to get past the door's trust or
// to hold it up: a fake lircd over TCP or on another user's socket, a
// zero-padded address, floods of keys by TCP and UDP, and bad lines from lircd.
// Everything on loopback; the controller is the stand-in.

#include "e2e/programrun.h"
#include "remote/keymessage.h"
#include "support/controllerstandin.h"
#include "support/lirclines.h"
#include "support/lircstandin.h"
#include "support/missing.h"

#include <QStandardPaths>
#include <QTest>
#include <atomic>
#include <thread>
#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace nuvok::e2e;
using nuvok::test::ControllerStandIn;
using nuvok::test::lircEventLine;
using nuvok::test::LircStandIn;

namespace {

QByteArray keys(char code, int count) {
    const std::string one = nuvok::keyMessage(static_cast<unsigned char>(code));
    return QByteArray::fromStdString(one).repeated(count);
}

// Messages of a kind no handset sends: read, decoded and dropped, without a
// log line for the test to read.
QByteArray noKeys(int count) {
    return QByteArray("\0\0", 2).repeated(count);
}

// The program on a port of its own, its controller the stand-in.
struct Run {
    explicit Run(const QString& settings, const QString& protocol = QStringLiteral("UDP"))
        : port(quint16(freePort())),
          program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=%2\nNotifications=false\n"
                                 "ControllerHost=127.0.0.1\nControllerPort=%3\n%4")
                      .arg(port)
                      .arg(protocol)
                      .arg(controller.port())
                      .arg(settings)) {}

    bool start() { return controller.ready() && port != 0 && program.start({}); }
    bool startListening() { return start() && waitForListener(program, port); }
    // A TCP handset of 127.0.0.1, once the listener takes it.
    bool connect(QTcpSocket& handset) {
        return waitUntil([&] {
            handset.abort();
            handset.connectToHost(QHostAddress::LocalHost, port);
            return handset.waitForConnected(500);
        });
    }
    bool waitForLine(const QString& line) { return program.waitForLine(line); }
    QString log() { return program.lines().join(QLatin1Char('\n')); }
    qsizetype count(const QString& text) { return program.lines().filter(text).size(); }
    // How long the door stayed open, on the stand-in's clock; -1 if it did not close.
    qint64 doorPulseMs() {
        if (!controller.waitForCommands(2))
            return -1;
        const auto& sent = controller.connections();
        return sent[1].acceptedMs - sent[0].acceptedMs;
    }

    ControllerStandIn controller;
    quint16 port;
    Program program;
};

} // namespace

class HardeningEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void aLircdOverTcpIsAHandsetAtItsAddress_data();
    void aLircdOverTcpIsAHandsetAtItsAddress();
    void anotherUsersLircdSocketSendsNoControllerCommand();
    void aZeroPaddedAddressIsRefused();
    void aFloodOfNinesOpensOnePulseAtATime();
    void aHugeWriteOrADatagramFloodHoldsNothingUp_data();
    void aHugeWriteOrADatagramFloodHoldsNothingUp();
    void lircdsBadLinesAreBounded();
};

void HardeningEndToEndTest::aLircdOverTcpIsAHandsetAtItsAddress_data() {
    QTest::addColumn<QString>("controllerHandsets");
    QTest::addColumn<bool>("opens");
    QTest::newRow("not named") << QStringLiteral("127.0.0.9") << false;
    QTest::newRow("named") << QStringLiteral("127.0.0.1") << true;
}

// Anyone on the machine may listen where a lircd over TCP is looked for.
void HardeningEndToEndTest::aLircdOverTcpIsAHandsetAtItsAddress() {
    QFETCH(QString, controllerHandsets);
    QFETCH(bool, opens);
    LircStandIn lirc;
    QVERIFY2(lirc.ready(), qPrintable(lirc.problem()));
    Run run(QStringLiteral("LircHost=127.0.0.1\nLircPort=%1\nDoorOverTcpOnly=true\n"
                           "ControllerHandsets=%2\n")
                .arg(lirc.port())
                .arg(controllerHandsets));
    QVERIFY(run.start());
    const QString place = QStringLiteral("lircd at 127.0.0.1:%1").arg(lirc.port());
    QVERIFY2(run.waitForLine(QStringLiteral("IR input ready: ") + place), qPrintable(run.log()));
    QVERIFY(lirc.waitForClients(1));
    lirc.send(lircEventLine(QStringLiteral("KEY_9"), QStringLiteral("x")).repeated(2));
    const QString refusal = place + QStringLiteral(" is not in ControllerHandsets");
    if (opens) {
        QVERIFY2(run.waitForLine(QStringLiteral("Open Door")), qPrintable(run.log()));
        QVERIFY2(run.controller.waitForCommands(2), qPrintable(run.log()));
        QCOMPARE(run.controller.commands(),
                 (QList<QByteArray>{"setport 1.1\r\n", "setport 1.0\r\n"}));
    } else {
        QVERIFY2(run.waitForLine(QStringLiteral("The door stays shut: ") + refusal),
                 qPrintable(run.log()));
        QTest::qWait(300);
        QCOMPARE(run.controller.connections().size(), std::size_t(0));
    }
    QCOMPARE(run.program.lines().contains(
                 QStringLiteral("IR keys count as a handset at 127.0.0.1 by TCP: ") +
                 (opens ? QStringLiteral("they may send controller commands")
                        : QStringLiteral("no controller command, as ") + refusal)),
             true);
}

// A socket where lircd would be, made by another user: its keys step the
// volume and steer the players, but the controller hears nothing of them.
void HardeningEndToEndTest::anotherUsersLircdSocketSendsNoControllerCommand() {
#ifdef Q_OS_WIN
    QSKIP("lircd's socket is a Linux thing");
#else
    if (geteuid() != 0)
        QSKIP("serving a socket as another user needs root");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
    if (setpriv.isEmpty() || socat.isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("setpriv and socat"));
    QTemporaryDir folder;
    QVERIFY(
        QFile::setPermissions(folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                 QFileDevice::WriteOther | QFileDevice::ExeOther));
    const QString socket = folder.filePath(QStringLiteral("lircd"));
    QProcess fake;
    fake.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                         QStringLiteral("--clear-groups"), socat, QStringLiteral("-u"),
                         QStringLiteral("STDIN"), QStringLiteral("UNIX-LISTEN:") + socket});
    QVERIFY(fake.waitForStarted());
    // It reads nothing, so it answers before it is asked: an answer to
    // VERSION is what makes the connection lircd.
    fake.write(nuvok::test::lircVersionReply());
    QVERIFY(waitUntil([&] { return QFile::exists(socket); }));
    Run run(QStringLiteral("LircSocket=%1\n").arg(socket));
    QVERIFY(run.start());
    QVERIFY2(run.waitForLine(QStringLiteral("IR input ready: lircd at ") + socket),
             qPrintable(run.log()));
    const QString refusal =
        QStringLiteral("lircd's socket %1 is served by user 65534, not by root, this user or the "
                       "owner of /run/lirc")
            .arg(socket);
    QVERIFY2(run.waitForLine(QStringLiteral("IR keys send no controller command: ") + refusal),
             qPrintable(run.log()));
    fake.write(lircEventLine(QStringLiteral("KEY_9"), QStringLiteral("x")).repeated(2));
    QVERIFY2(run.waitForLine(QStringLiteral("The door stays shut: ") + refusal),
             qPrintable(run.log()));
    QTest::qWait(300);
    QCOMPARE(run.controller.connections().size(), std::size_t(0));
    fake.kill();
    fake.waitForFinished();
#endif
}

// Read as octal by some programs and as decimal by others: neither.
void HardeningEndToEndTest::aZeroPaddedAddressIsRefused() {
    Run run(QStringLiteral("Handsets=127.000.000.010\n"));
    QVERIFY(run.start());
    QVERIFY2(waitUntil([&] { return run.count(QStringLiteral("\"127.000.000.010\"")) > 0; },
                       kLineTimeoutMs),
             qPrintable(run.log()));
    QUdpSocket handset;
    handset.bind(QHostAddress(QStringLiteral("127.0.0.8")), 0);
    QVERIFY2(waitUntil(
                 [&] {
                     handset.writeDatagram(QByteArray::fromStdString(nuvok::keyMessage('5')),
                                           QHostAddress::LocalHost, run.port);
                     return run.count(QStringLiteral("Ignored a message from 127.0.0.8")) > 0;
                 },
                 kLineTimeoutMs),
             qPrintable(run.log()));
    QCOMPARE(run.count(QStringLiteral("Remote: 5")), 0);
}

// 2,000 "9" keys in one write: at most one pulse open at a time, a bounded
// number of connections, and an LED key after them still goes out at once.
void HardeningEndToEndTest::aFloodOfNinesOpensOnePulseAtATime() {
    Run run({}, QStringLiteral("TCP"));
    QVERIFY(run.start());
    QTcpSocket handset;
    QVERIFY2(run.connect(handset), qPrintable(run.log()));
    QElapsedTimer clock;
    clock.start();
    handset.write(keys('9', 2000) + keys(char(nuvok::kKeyMenu), 1) +
                  keys(char(nuvok::kKeyLeft), 1) + keys('3', 1));
    const auto ledAt = [&] {
        const auto& sent = run.controller.connections();
        for (std::size_t i = 0; i < sent.size(); ++i)
            if (sent[i].data == "setport 3.1 \r\n")
                return qsizetype(i);
        return qsizetype(-1);
    };
    QVERIFY2(waitUntil([&] { return ledAt() >= 0; }, 2000),
             qPrintable(QStringLiteral("%1 ms, %2 connections\n")
                            .arg(clock.elapsed())
                            .arg(run.controller.connections().size()) +
                        run.log().right(2000)));
    QTest::qWait(1500); // the last pulse's off
    QByteArray expected = "setport 1.1\r\n";
    for (const QByteArray& command : run.controller.commands()) {
        if (command == "setport 3.1 \r\n")
            continue;
        QCOMPARE(command, expected);
        expected = expected == "setport 1.1\r\n" ? "setport 1.0\r\n" : "setport 1.1\r\n";
    }
    QCOMPARE(expected, QByteArray("setport 1.1\r\n")); // every on has its off
    QVERIFY2(run.controller.connections().size() <= 9,
             qPrintable(QString::number(run.controller.connections().size())));
    QVERIFY(run.count(QStringLiteral("The door is open already: this \"9 9\" is ignored")) > 900);
}

void HardeningEndToEndTest::aHugeWriteOrADatagramFloodHoldsNothingUp_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("500,000 keys in one TCP write") << true;
    QTest::newRow("datagrams from senders Handsets refuses") << false;
}

// A "9 9" before the flood closes on time, and SIGTERM ends the program.
void HardeningEndToEndTest::aHugeWriteOrADatagramFloodHoldsNothingUp() {
    QFETCH(bool, tcp);
    Run run(tcp ? QString() : QStringLiteral("Handsets=127.0.0.1\n"),
            tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"));
    QVERIFY(tcp ? run.start() : run.startListening());
    QTcpSocket handset;
    QUdpSocket udpHandset;
    std::atomic<bool> flooding{true};
    std::thread flood;
    if (tcp) {
        QVERIFY2(run.connect(handset), qPrintable(run.log()));
        handset.write(keys('9', 2) + noKeys(500000));
    } else {
        udpHandset.writeDatagram(keys('9', 1), QHostAddress::LocalHost, run.port);
        udpHandset.writeDatagram(keys('9', 1), QHostAddress::LocalHost, run.port);
        flood = std::thread([&] {
            QUdpSocket from[4];
            for (int i = 0; i < 4; ++i)
                from[i].bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(5 + i)), 0);
            const QByteArray key = keys('9', 1);
            for (int i = 0; flooding; ++i) {
                from[i % 4].writeDatagram(key, QHostAddress::LocalHost, run.port);
                if (i % 200 == 199) // leaves this process's event loop a share
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
        });
    }
    const qint64 pulse = run.doorPulseMs();
    const QString ended = endBySignal(run.program);
    flooding = false;
    if (flood.joinable())
        flood.join();
    QVERIFY2(pulse >= 800 - nuvok::test::kStandInLatenessMs && pulse <= 1000,
             qPrintable(QString::number(pulse)));
    QVERIFY2(ended.isEmpty(), qPrintable(ended.right(2000)));
    if (!tcp) // the refused senders are told, at most once a second
        QVERIFY2(run.count(QStringLiteral("Ignored ")) <= 3, qPrintable(run.log()));
}

// Garbage and a reply block without its END: a few lines, then events again.
void HardeningEndToEndTest::lircdsBadLinesAreBounded() {
    LircStandIn lirc;
    QVERIFY2(lirc.ready(), qPrintable(lirc.problem()));
    Run run(QStringLiteral("LircHost=127.0.0.1\nLircPort=%1\n").arg(lirc.port()));
    QVERIFY(run.start());
    QVERIFY2(
        run.waitForLine(QStringLiteral("IR input ready: lircd at 127.0.0.1:%1").arg(lirc.port())),
        qPrintable(run.log()));
    QVERIFY(lirc.waitForClients(1));
    // A name that the log panel would take for a line break in the middle.
    lirc.send(lircEventLine(QStringLiteral("KEY_\uFDD0Open"), QStringLiteral("Door")));
    for (int i = 0; i < 50; ++i) {
        lirc.send("no event here\n");
        QTest::qWait(2); // a trickle: each line a read of its own
    }
    lirc.send("BEGIN\n" + QByteArray("junk\n").repeated(150));
    lirc.send(lircEventLine(QStringLiteral("KEY_5"), QStringLiteral("x")));
    QVERIFY2(run.waitForLine(QStringLiteral("IR: KEY_5 (x)")), qPrintable(run.log()));
    QVERIFY2(run.count(QStringLiteral("IR: ")) <= 8, qPrintable(run.log()));
    QVERIFY2(run.count(QStringLiteral("IR: KEY_<U+FDD0>Open (Door)")) == 1, qPrintable(run.log()));
    for (const QString& line : run.program.lines())
        QVERIFY2(!line.startsWith(QLatin1String("Open")), qPrintable(run.log()));
}

QTEST_GUILESS_MAIN(HardeningEndToEndTest)
#include "test_e2e_hardening.moc"
