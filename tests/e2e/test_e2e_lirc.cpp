// Infrared remotes steering the real program through a real lircd (on a
// socket and folder of the test's own, driven by irsend SIMULATE): the volume
// buttons in every mode, the mode machine with the controller, held buttons,
// buttons and remotes that are left out, and a lircd that stops, starts late
// or is reached over TCP.

#include "programrun.h"
#include "support/lircdaemon.h"
#include "support/missing.h"
#include "support/pulseserver.h"

#include <QTest>

using namespace nuvok::e2e;
using nuvok::test::LircDaemon;
using nuvok::test::PulseServer;

namespace {

const QString kRemote = QStringLiteral("myremote");
// 30 % and one step up.
constexpr long kStart = 19661;
constexpr long kOneStep = 24030;

// The controller on a port of the run's own: what each connection carried.
class Controller : public QObject {
public:
    Controller() {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket] { m_data += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    QByteArray data() const { return m_data; }

private:
    QTcpServer m_server;
    QByteArray m_data;
};

// The program with a private sound server, the controller and lircd.
struct Run {
    PulseServer sound;
    LircDaemon lircd;
    Controller controller;
    std::unique_ptr<Program> program;
    quint16 port = 0;

    // extra: more settings lines; tcp: lircd is read over TCP.
    bool start(const QString& extra = {}, bool tcp = false, bool lircdFirst = true) {
        if (!sound.start() || (lircdFirst && !(tcp ? lircd.startWithTcp() : lircd.start())))
            return false;
        return startProgram(extra, tcp) &&
               (!lircdFirst ||
                program->waitForLine(QStringLiteral("IR input ready: lircd at ") + place(tcp)));
    }
    // The program alone, lircd as the test left it.
    bool startProgram(const QString& extra = {}, bool tcp = false) {
        if (!sound.running() && !sound.start())
            return false;
        QString settings = QStringLiteral("[Settings]\nNotifications=false\nControllerHost=127.0."
                                          "0.1\nControllerPort=%1\n")
                               .arg(controller.port());
        settings += tcp ? QStringLiteral("LircHost=127.0.0.1\nLircPort=%1\n").arg(lircd.tcpPort())
                        : QStringLiteral("LircSocket=%1\n").arg(lircd.socketPath());
        program = std::make_unique<Program>(settings + extra);
        program->withoutSoundDevices();
        program->setEnvironment(QStringLiteral("PULSE_SERVER"), sound.address());
        port = freePort();
        return port != 0 && program->start({QStringLiteral("-port"), QString::number(port)}) &&
               waitForListener(*program, port);
    }
    QString place(bool tcp = false) const {
        return tcp ? QStringLiteral("127.0.0.1:%1").arg(lircd.tcpPort()) : lircd.socketPath();
    }
    // Presses the buttons one by one, each after the line of the one before.
    bool press(const QStringList& buttons, const QString& remote = kRemote) {
        for (const QString& button : buttons) {
            const qsizetype before = program->lines().size();
            if (!lircd.press(button, remote))
                return false;
            if (!waitUntil(
                    [&] {
                        return program->lines().mid(before).contains(
                            QStringLiteral("IR: %1 (%2)").arg(button, remote));
                    },
                    kLineTimeoutMs))
                return false;
        }
        return true;
    }
    long level() {
        const QList<long> volumes = sound.sinkVolumes(QStringLiteral("spk"));
        return volumes.isEmpty() ? -1 : volumes.front();
    }
    bool levelBecomes(long expected) {
        return waitUntil([&] { return level() == expected; }, kLineTimeoutMs);
    }
    qsizetype count(const QString& line) { return program->lines().count(line); }
    QString log() { return program ? program->lines().join(QLatin1Char('\n')) : QString(); }
};

} // namespace

class EndToEndLircTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void volumeButtonsStepInEveryMode();
    void theModeMachineDrivesTheController();
    void aHeldNineOpensTheDoorOnce();
    void aHeldVolumeButtonRepeatsAfterADelay();
    void menuAndUpHeldStepNoVolume();
    void buttonsAndRemotesLeftOutAreSaidOnce();
    void lircdStoppedAndStartedAgain();
    void lircdStartedAfterTheProgram();
    void lircdOverTcp();
    void aStoppedLircdIsReadyOnlyOnceItRuns();
};

void EndToEndLircTest::init() {
    if (const QString missing = PulseServer::missing(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
    if (const QString missing = LircDaemon::missing(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
}

void EndToEndLircTest::volumeButtonsStepInEveryMode() {
    Run run;
    QVERIFY2(run.start(), qPrintable(run.lircd.log() + run.log()));
    long expected = kStart;
    for (const QStringList& mode :
         {QStringList{}, QStringList{"KEY_MENU", "KEY_LEFT"}, QStringList{"KEY_MENU", "KEY_RIGHT"},
          QStringList{"KEY_MENU", "KEY_UP"}, QStringList{"KEY_9"}}) {
        QVERIFY(run.press(mode));
        const long before = run.level();
        QVERIFY(run.press({QStringLiteral("KEY_VOLUMEUP")}));
        QVERIFY2(waitUntil([&] { return run.level() > before; }, kLineTimeoutMs),
                 qPrintable(run.log()));
        expected = run.level();
    }
    QVERIFY(run.press({QStringLiteral("KEY_VOLUMEDOWN")}));
    QVERIFY(waitUntil([&] { return run.level() < expected; }, kLineTimeoutMs));
    // None of them sent an LED command; the door's first step was ended.
    QCOMPARE(run.controller.data(), QByteArray());
    QVERIFY(run.log().contains(QStringLiteral("\nidle")));
}

void EndToEndLircTest::theModeMachineDrivesTheController() {
    Run run;
    QVERIFY2(run.start(), qPrintable(run.lircd.log() + run.log()));
    QVERIFY(run.press({"KEY_MENU", "KEY_LEFT", "KEY_3", "KEY_DOWN", "KEY_3"}));
    QVERIFY2(waitUntil([&] { return run.controller.data() == "setport 3.1 \r\nsetport 3.0 \r\n"; },
                       kLineTimeoutMs),
             qPrintable(run.controller.data() + '\n' + run.log()));
    QCOMPARE(run.level(), kStart); // Down in LED control is the LEDs' off
}

// The receiver is in the room: its keys open the door even where no handset
// of the network may.
void EndToEndLircTest::aHeldNineOpensTheDoorOnce() {
    Run run;
    QVERIFY2(run.start(QStringLiteral("ControllerHandsets=127.0.0.2\nDoorOverTcpOnly=true\n")),
             qPrintable(run.lircd.log() + run.log()));
    QVERIFY(run.lircd.hold(QStringLiteral("KEY_9"), kRemote, 5, 110));
    QVERIFY(run.lircd.hold(QStringLiteral("KEY_9"), kRemote, 8, 110));
    QVERIFY2(waitUntil([&] { return run.controller.data() == "setport 1.1\r\nsetport 1.0\r\n"; },
                       kLineTimeoutMs),
             qPrintable(run.controller.data() + '\n' + run.log()));
    QTest::qWait(1200); // a second pulse would have begun by now
    QCOMPARE(run.controller.data(), QByteArray("setport 1.1\r\nsetport 1.0\r\n"));
    QCOMPARE(run.count(QStringLiteral("Open Door")), 1);
    QCOMPARE(run.count(QStringLiteral("IR: KEY_9 (myremote)")), 2);
}

// lircd repeats about every 110 ms: 1.5 s held is the press, then from 0.4 s
// at most eight steps a second.
void EndToEndLircTest::aHeldVolumeButtonRepeatsAfterADelay() {
    Run run;
    QVERIFY2(run.start(), qPrintable(run.lircd.log() + run.log()));
    QVERIFY(run.lircd.hold(QStringLiteral("KEY_VOLUMEDOWN"), kRemote, 13, 110));
    QVERIFY(run.program->waitForLine(QStringLiteral("IR: KEY_VOLUMEDOWN (myremote)")));
    const auto steps = [&] { return run.count(QStringLiteral("Vol-")); };
    QVERIFY(waitUntil([&] { return steps() >= 4; }, kLineTimeoutMs));
    QTest::qWait(300);
    QVERIFY2(steps() >= 4 && steps() <= 11, qPrintable(run.log()));
    QVERIFY(waitUntil([&] { return run.level() < kStart - 3 * 4369; }, kLineTimeoutMs));
}

void EndToEndLircTest::menuAndUpHeldStepNoVolume() {
    Run run;
    QVERIFY2(run.start(), qPrintable(run.lircd.log() + run.log()));
    QVERIFY(run.press({QStringLiteral("KEY_MENU")}));
    QVERIFY(run.lircd.hold(QStringLiteral("KEY_UP"), kRemote, 10, 110));
    QVERIFY(run.program->waitForLine(QStringLiteral("mode_Audio")));
    QTest::qWait(300);
    QCOMPARE(run.count(QStringLiteral("Vol+")), 0);
    QCOMPARE(run.count(QStringLiteral("mode_Audio")), 1);
    QCOMPARE(run.level(), kStart);
}

void EndToEndLircTest::buttonsAndRemotesLeftOutAreSaidOnce() {
    Run run;
    QVERIFY2(run.start(QStringLiteral("LircRemotes=myremote, other\n[LircButtons]\nKEY_RED=57\n")),
             qPrintable(run.lircd.log() + run.log()));
    for (int i = 0; i < 2; ++i) {
        QVERIFY(run.lircd.press(QStringLiteral("KEY_BLUE"), kRemote));
        QVERIFY(run.lircd.press(QStringLiteral("KEY_UP"), QStringLiteral("tv")));
    }
    QVERIFY(run.press({QStringLiteral("KEY_RED")}));
    QVERIFY(run.program->waitForLine(QStringLiteral("DoorPreOpen")));
    QCOMPARE(run.count(QStringLiteral("IR: KEY_BLUE (myremote) does nothing: give it a key code "
                                      "as KEY_BLUE in the settings' group LircButtons")),
             1);
    QCOMPARE(run.count(QStringLiteral("IR: remote tv is left out: it is not in LircRemotes")), 1);
    QCOMPARE(run.count(QStringLiteral("IR: KEY_UP (tv)")), 0);
    QCOMPARE(run.level(), kStart);
}

void EndToEndLircTest::lircdStoppedAndStartedAgain() {
    Run run;
    QVERIFY2(run.start(), qPrintable(run.lircd.log() + run.log()));
    run.lircd.stop();
    QVERIFY(run.program->waitForLine(
        QStringLiteral("IR input lost: lircd at %1 ended the connection (QLocalSocket: Remote "
                       "closed); trying again every 2 s")
            .arg(run.lircd.socketPath())));
    QVERIFY(run.lircd.restart());
    QElapsedTimer back;
    back.start();
    QVERIFY(run.program->waitForLine(
        QStringLiteral("IR input is there again: lircd at %1").arg(run.lircd.socketPath())));
    qInfo("the input was back %lld ms after lircd", static_cast<long long>(back.elapsed()));
    QVERIFY(back.elapsed() < 3000);
    QVERIFY(run.press({QStringLiteral("KEY_VOLUMEUP")}));
    QVERIFY(run.levelBecomes(kOneStep));
}

void EndToEndLircTest::lircdStartedAfterTheProgram() {
    Run run;
    QVERIFY2(run.start({}, false, false), qPrintable(run.log()));
    // A setting names it: its absence is said, in words.
    QVERIFY2(run.program->waitForLine(
                 QStringLiteral("IR remotes are not in use yet: no lircd answers at %1 (there is "
                                "no socket at %1). Install and start lircd, or set LircSocket, or "
                                "LircHost and LircPort; it is looked for every 2 s")
                     .arg(run.lircd.socketPath())),
             qPrintable(run.log()));
    QVERIFY(run.lircd.start());
    QVERIFY(run.program->waitForLine(
        QStringLiteral("IR input ready: lircd at %1").arg(run.lircd.socketPath())));
    QVERIFY(run.press({QStringLiteral("KEY_VOLUMEUP")}));
    QVERIFY(run.levelBecomes(kOneStep));
    QCOMPARE(run.program->lines().filter(QStringLiteral("IR remotes are not in use")).size(), 1);
}

void EndToEndLircTest::lircdOverTcp() {
    Run run;
    QVERIFY2(run.start({}, true), qPrintable(run.lircd.log() + run.log()));
    QVERIFY(run.press({QStringLiteral("KEY_VOLUMEUP")}));
    QVERIFY(run.levelBecomes(kOneStep));
}

// Held still, lircd's socket still takes the connection (the kernel's
// backlog) but nothing answers: not ready, said once; ready once it runs.
void EndToEndLircTest::aStoppedLircdIsReadyOnlyOnceItRuns() {
    Run run;
    QVERIFY2(run.lircd.start() && run.lircd.pause(), qPrintable(run.lircd.log()));
    QVERIFY2(run.startProgram(), qPrintable(run.log()));
    const QString silent =
        QStringLiteral("IR input: lircd at %1 accepts connections but does not answer")
            .arg(run.place());
    QVERIFY2(run.program->waitForLine(silent), qPrintable(run.log()));
    QTest::qWait(2500); // beyond another answer time
    QCOMPARE(run.program->lines().filter(QStringLiteral("IR ")), QStringList{silent});

    QVERIFY(run.lircd.resume());
    QVERIFY2(run.program->waitForLine(QStringLiteral("IR input ready: lircd at ") + run.place()),
             qPrintable(run.log()));
    QVERIFY(run.press({QStringLiteral("KEY_VOLUMEUP")}));
    QVERIFY(run.levelBecomes(kOneStep));
    QCOMPARE(run.count(silent), 1);
}

QTEST_GUILESS_MAIN(EndToEndLircTest)
#include "test_e2e_lirc.moc"
