// The volume keys of the real program against a private PulseAudio server
// and a private PipeWire server: the level that moves is the server's default
// output at the moment of the key, across a restart of the server (or of
// PipeWire's PulseAudio service), a server that starts after the program and
// a change of the default; a key the server cannot take says so, naming what
// is missing. The program finds no ALSA device here, so only the server can
// take a step.

#include "programrun.h"
#include "support/missing.h"
#include "support/pipewireserver.h"
#include "support/pulseserver.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

using namespace nuvok::e2e;
using nuvok::test::PipeWireServer;
using nuvok::test::PulseServer;

class EndToEndSoundTest : public QObject {
    Q_OBJECT

private slots:
    void volumeKeysFollowTheSoundServer_data();
    void volumeKeysFollowTheSoundServer();
    void volumeKeysFollowPipeWire_data();
    void volumeKeysFollowPipeWire();

private:
    template <typename Server> void run(Server& server, const QStringList& script);
};

// Each row is a script, one action per entry:
//   "server A B"  start the server with the sinks A and B (A the default), all at 19661 (30 %)
//   "kill"        end the server at once (PulseAudio)
//   "pulse stop"  end PipeWire's PulseAudio service, and with it its sinks;
//                 "pulse start" starts it again with the same sinks
//   "manager stop" end PipeWire's session manager; "manager start" starts it again
//   "program"     start the program and wait until it listens
//   "default B"   make sink B the default
//   "up"          press Up
//   "freeze"      hold the server still, as a server that hangs; "thaw" lets it go on
//   "wait S"      let S seconds pass
//   "keys K..."   press the keys K... (nuvok-send's options may come first)
//   "end"         SIGTERM: the program ends normally, with status 0
//   "ahead T"     a log line T follows the last key sent, before any line
//                 saying that a volume step was not made
//   "line T"      a log line T follows the lines seen so far
//   "starts T"    a log line beginning with T follows
//   "sink A V"    sink A has the raw volume V on every channel (one step up
//                 from 19661 is 24030)
//   "only T"      exactly one line beginning with T since the last key, and no "Vol+"
//   "once T"      exactly one line of the whole log begins with T
void EndToEndSoundTest::volumeKeysFollowTheSoundServer_data() {
    QTest::addColumn<QStringList>("script");
    QTest::newRow("server restarted")
        << QStringList{"server spk", "program",    "up", "line Vol+", "sink spk 24030",
                       "kill",       "server spk", "up", "line Vol+", "sink spk 24030"};
    QTest::newRow("default output switched between two keys")
        << QStringList{"server spk hdmi", "program",      "up", "line Vol+", "sink spk 24030",
                       "sink hdmi 19661", "default hdmi", "up", "line Vol+", "sink hdmi 24030",
                       "sink spk 24030"};
    QTest::newRow("server started after the program")
        << QStringList{"program",   "server spk",    "up", "starts Volume control available",
                       "line Vol+", "sink spk 24030"};
    QTest::newRow("server down") << QStringList{"server spk",
                                                "program",
                                                "kill",
                                                "up",
                                                "only Volume not changed (Vol+): ",
                                                "server spk",
                                                "up",
                                                "line Vol+",
                                                "sink spk 24030"};
    // Keys for a hung server wait for it on its own queue: the door key after
    // them is handled at once, and once the server is back it takes a step.
    QTest::newRow("server hangs") << QStringList{"server spk",
                                                 "program",
                                                 "freeze",
                                                 "keys --delay 0 up up up 57",
                                                 "ahead DoorPreOpen",
                                                 "starts Vol+ not done: ",
                                                 "thaw",
                                                 "starts the sound server answers again",
                                                 "up",
                                                 "line Vol+",
                                                 "sink spk 24030"};
    // A server that is back takes the next key, however soon after: the key
    // asks it, and does not wait for the probe in the background. The keys
    // while it hung have failed, each with its line.
    for (const char* delay : {"0.2", "0.5", "1.3"})
        QTest::newRow(qPrintable(QStringLiteral("server back, Up %1 s later").arg(delay)))
            << QStringList{"server spk",
                           "program",
                           "freeze",
                           "keys --delay 0 up up up 57",
                           "ahead DoorPreOpen",
                           "starts Volume not changed (Vol+): ",
                           "starts Vol+ not done: ",
                           "starts Vol+ not done: ",
                           "thaw",
                           QStringLiteral("wait ") + delay,
                           "up",
                           "line Vol+",
                           "sink spk 24030",
                           "once the sound server answers again"};
    // The end does not wait for a server that holds a step.
    QTest::newRow("ended while the server hangs")
        << QStringList{"server spk", "program", "freeze", "keys --delay 0 up up", "end"};
}

void EndToEndSoundTest::volumeKeysFollowTheSoundServer() {
    QFETCH(QStringList, script);
    if (const QString missing = PulseServer::missing(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
    PulseServer server;
    run(server, script);
}

// The same against PipeWire, whose default output is its session manager's
// to choose: without the session manager there is none, and a key says so,
// naming the output, never the microphone.
void EndToEndSoundTest::volumeKeysFollowPipeWire_data() {
    QTest::addColumn<QStringList>("script");
    const QString noManager =
        QStringLiteral("the sound server has no default %1: PipeWire's session manager "
                       "(WirePlumber) is not running");
    const QString keyFailure =
        QStringLiteral("Volume not changed (Vol+): ") + noManager.arg(QStringLiteral("output"));
    QTest::newRow("step") << QStringList{"server spk", "program", "up", "line Vol+",
                                         "sink spk 24030"};
    QTest::newRow("default output switched between two keys") << QStringList{
        "server spk other", "program", "up",        "line Vol+",        "sink spk 24030",
        "default other",    "up",      "line Vol+", "sink other 24030", "sink spk 24030"};
    QTest::newRow("PulseAudio service restarted between two keys")
        << QStringList{"server spk", "program",     "up", "line Vol+", "sink spk 24030",
                       "pulse stop", "pulse start", "up", "line Vol+", "sink spk 24030"};
    QTest::newRow("PulseAudio service down, then back")
        << QStringList{"server spk",
                       "program",
                       "pulse stop",
                       "up",
                       "only Volume not changed (Vol+): the sound server (PulseAudio): no sound "
                       "server is running; ",
                       "pulse start",
                       "up",
                       "line Vol+",
                       "sink spk 24030"};
    // A client connected before the session manager stopped may still be
    // told the old default; the program, connected anew after the service's
    // restart, is told of none.
    QTest::newRow("session manager stopped, then back")
        << QStringList{"server spk",
                       "program",
                       "up",
                       "line Vol+",
                       "manager stop",
                       "pulse stop",
                       "pulse start",
                       "up",
                       "only " + keyFailure,
                       "up",
                       "only " + keyFailure,
                       "manager start",
                       "up",
                       "starts Volume control available",
                       "line Vol+",
                       "sink spk 24030"};
    // The opening names the microphone, once; the keys name the output.
    QTest::newRow("program started without the session manager")
        << QStringList{"server spk",
                       "manager stop",
                       "program",
                       "once No microphone volume: " + noManager.arg(QStringLiteral("input")),
                       "up",
                       "only " + keyFailure,
                       "up",
                       "only " + keyFailure,
                       "manager start",
                       "up",
                       "starts Volume control available",
                       "line Vol+",
                       "sink spk 24030",
                       "once No microphone volume: "};
}

void EndToEndSoundTest::volumeKeysFollowPipeWire() {
    QFETCH(QStringList, script);
    if (const QString missing = PipeWireServer::missing(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
    PipeWireServer server;
    run(server, script);
}

template <typename Server> void EndToEndSoundTest::run(Server& server, const QStringList& script) {
    Program program(QString{});
    program.withoutSoundDevices();
    program.setEnvironment(QStringLiteral("PULSE_SERVER"), server.address());
    const quint16 port = freePort();
    QVERIFY(port != 0);
    qsizetype next = 0;     // the first log line not yet matched
    qsizetype keyStart = 0; // the first log line after the last key sent
    const auto log = [&] { return program.lines().join(QLatin1Char('\n')); };

    for (const QString& entry : script) {
        const QStringList words = entry.split(QLatin1Char(' '));
        const QString action = words.front();
        const QString rest = entry.section(QLatin1Char(' '), 1);
        if (action == QLatin1String("server")) {
            QVERIFY2(server.start(words.mid(1)), qPrintable(server.log()));
        } else if (action == QLatin1String("kill")) {
            server.stop();
        } else if (action == QLatin1String("pulse") || action == QLatin1String("manager")) {
            if constexpr (requires { server.stopSessionManager(); }) {
                const bool starting = words.value(1) == QLatin1String("start");
                if (action == QLatin1String("pulse") && starting)
                    QVERIFY2(server.startPulse(), qPrintable(server.log()));
                else if (action == QLatin1String("pulse"))
                    server.stopPulse();
                else if (starting)
                    QVERIFY2(server.startSessionManager(), qPrintable(server.log()));
                else
                    server.stopSessionManager();
            } else {
                QFAIL(qPrintable(QStringLiteral("not for this server: ") + entry));
            }
        } else if (action == QLatin1String("program")) {
            QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
            QVERIFY2(waitForListener(program, port), qPrintable(log()));
            next = program.lines().size();
        } else if (action == QLatin1String("end")) {
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(::kill(pid_t(program.process().processId()), SIGTERM), 0);
            QVERIFY(program.process().waitForFinished(kLineTimeoutMs));
            qInfo("ended %lld ms after SIGTERM", static_cast<long long>(clock.elapsed()));
            QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
            QVERIFY2(program.process().exitCode() == 0, qPrintable(log()));
        } else if (action == QLatin1String("freeze") || action == QLatin1String("thaw")) {
            if constexpr (requires { server.freeze(); }) {
                if (action == QLatin1String("freeze"))
                    server.freeze();
                else
                    server.thaw();
            } else {
                QFAIL(qPrintable(QStringLiteral("not for this server: ") + entry));
            }
        } else if (action == QLatin1String("wait")) {
            QTest::qWait(qRound(rest.toDouble() * 1000));
        } else if (action == QLatin1String("keys")) {
            keyStart = next = program.lines().size();
            QVERIFY(press(port, words.mid(1)));
        } else if (action == QLatin1String("ahead")) {
            QVERIFY2(program.waitForLine(rest, keyStart), qPrintable(entry + ":\n" + log()));
            const qsizetype at = program.lines().indexOf(rest, keyStart);
            const QStringList before = program.lines().mid(keyStart, at - keyStart);
            QVERIFY2(before
                         .filter(QRegularExpression(QStringLiteral("^(Volume not changed|Vol[+-] "
                                                                   "not done)")))
                         .isEmpty(),
                     qPrintable(entry + ":\n" + log()));
            next = at + 1;
        } else if (action == QLatin1String("default")) {
            QVERIFY(server.setDefaultSink(rest));
            // PipeWire's session manager makes the choice the default a moment
            // after the PulseAudio service has taken it: a key before that
            // would rightly still go to the old default.
            QVERIFY2(
                waitUntil([&] { return server.defaultSink() == rest; }, 3000),
                qPrintable(entry + QStringLiteral(": the default stayed ") + server.defaultSink()));
        } else if (action == QLatin1String("up")) {
            keyStart = next = program.lines().size();
            QVERIFY(press(port, {QStringLiteral("up")}));
        } else if (action == QLatin1String("line")) {
            QVERIFY2(program.waitForLine(rest, next), qPrintable(entry + ":\n" + log()));
            next = program.lines().indexOf(rest, next) + 1;
        } else if (action == QLatin1String("starts") || action == QLatin1String("only")) {
            const auto found = [&] {
                const QStringList lines = program.lines();
                for (qsizetype i = next; i < lines.size(); ++i)
                    if (lines[i].startsWith(rest))
                        return i;
                return qsizetype(-1);
            };
            QVERIFY2(waitUntil([&] { return found() >= 0; }, kLineTimeoutMs),
                     qPrintable(entry + ":\n" + log()));
            next = found() + 1;
            if (action == QLatin1String("only")) {
                // The key's line comes last: anything else would follow it.
                QVERIFY(waitForListener(program, port));
                const QStringList since = program.lines().mid(keyStart);
                QCOMPARE(since.filter(QRegularExpression(QStringLiteral("^Vol[+-]$"))).size(), 0);
                QCOMPARE(since
                             .filter(QRegularExpression(QStringLiteral("^") +
                                                        QRegularExpression::escape(rest)))
                             .size(),
                         1);
                next = program.lines().size();
            }
        } else if (action == QLatin1String("once")) {
            // Whatever the order of the program's start-up, the line is there
            // once, and only once.
            const auto count = [&] {
                return program.lines()
                    .filter(
                        QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(rest)))
                    .size();
            };
            QVERIFY2(waitUntil([&] { return count() > 0; }, kLineTimeoutMs),
                     qPrintable(entry + ":\n" + log()));
            QVERIFY2(count() == 1, qPrintable(entry + ":\n" + log()));
        } else if (action == QLatin1String("sink")) {
            const QString sink = words.value(1);
            const long expected = words.value(2).toLong();
            QList<long> volumes;
            const bool reached = waitUntil(
                [&] {
                    volumes = server.sinkVolumes(sink);
                    return !volumes.isEmpty() && std::all_of(volumes.begin(), volumes.end(),
                                                             [&](long v) { return v == expected; });
                },
                3000);
            QVERIFY2(reached,
                     qPrintable(QStringLiteral("%1: %2\n%3")
                                    .arg(entry)
                                    .arg(volumes.isEmpty() ? QStringLiteral("(none)")
                                                           : QString::number(volumes.front()))
                                    .arg(log())));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown action: ") + entry));
        }
    }
}

QTEST_GUILESS_MAIN(EndToEndSoundTest)
#include "test_e2e_sound.moc"
