// The real program, with no X11 display, drives a real media player (mpv with
// its MPRIS plugin) on a private session bus; the player's own control socket
// tells what really happened to it.
#include "programrun.h"
#include "support/missing.h"
#include "support/statusnotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDataStream>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <optional>

using namespace nuvok::e2e;

namespace {

const QString kBusName = QStringLiteral("org.mpris.MediaPlayer2.mpv");
const QString kThrough = QStringLiteral("Through MPRIS: mpv (org.mpris.MediaPlayer2.mpv)");

// A mono 8 kHz tone of `seconds`, long enough for every jump.
bool writeTone(const QString& path, int seconds, int hertz) {
    const quint32 rate = 8000;
    const quint32 samples = rate * static_cast<quint32>(seconds);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << rate << rate << quint16(1) << quint16(8);
    out.writeRawData("data", 4);
    out << samples;
    QByteArray data(static_cast<qsizetype>(samples), '\0');
    for (quint32 i = 0; i < samples; ++i)
        data[i] = static_cast<char>(128 + 60 * std::sin(2 * M_PI * hertz * i / rate));
    out.writeRawData(data.constData(), static_cast<int>(data.size()));
    return file.error() == QFileDevice::NoError;
}

} // namespace

class E2eMpris : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void keysChangeTheRealPlayer_data();
    void keysChangeTheRealPlayer();
    void aTitleNoPlayerHasFailsNamingBoth();
    void aPlayerBackTakesTheNextKey_data();
    void aPlayerBackTakesTheNextKey();
    void aStoppedPlayerHoldsUpOnlyItsOwnKeys();

private:
    // A command to the player's control socket, and its answer's data.
    std::optional<QVariant> playerCommand(const QJsonArray& command);
    // A property of the player, read from its control socket.
    std::optional<QVariant> playerProperty(const QString& name);
    bool waitForProperty(const QString& name, const std::function<bool(const QVariant&)>& test);
    void startProgram(Program& program, quint16 port);

    QTemporaryDir m_dir;
    std::unique_ptr<nuvok::test::PrivateSessionBus> m_bus;
    QProcess m_player;
    QString m_busAddress;
    QLocalSocket m_control;
    std::unique_ptr<Program> m_program;
    quint16 m_port = 0;
    qsizetype m_next = 0;
};

void E2eMpris::initTestCase() {
    const QString plugin = mprisPlugin();
    if (QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty() || plugin.isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs mpv, mpv-mpris and dbus-daemon"));
    QVERIFY(m_dir.isValid());

    m_bus = std::make_unique<nuvok::test::PrivateSessionBus>();
    m_busAddress = m_bus->address();
    QVERIFY2(!m_busAddress.isEmpty(), "dbus-daemon did not start");

    const QString first = m_dir.filePath(QStringLiteral("first.wav"));
    const QString second = m_dir.filePath(QStringLiteral("second.wav"));
    QVERIFY(writeTone(first, 60, 440) && writeTone(second, 60, 660));
    const QString socket = m_dir.filePath(QStringLiteral("mpv.socket"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_player.setProcessEnvironment(environment);
    m_player.start(QStringLiteral("mpv"),
                   {QStringLiteral("--no-config"), QStringLiteral("--script=") + plugin,
                    QStringLiteral("--ao=null"), QStringLiteral("--vo=null"),
                    QStringLiteral("--idle=yes"), QStringLiteral("--pause"),
                    QStringLiteral("--input-ipc-server=") + socket, first, second});
    QVERIFY(m_player.waitForStarted(5000));
    QVERIFY(waitUntil(
        [&] {
            m_control.connectToServer(socket);
            return m_control.waitForConnected(200);
        },
        kLineTimeoutMs));
    QVERIFY(waitForProperty(QStringLiteral("duration"),
                            [](const QVariant& v) { return v.toDouble() > 50; }));
    // The player is on the bus before any key is sent.
    QDBusConnection bus = QDBusConnection::connectToBus(m_busAddress, QStringLiteral("mpris-test"));
    QVERIFY(waitUntil([&] { return bus.interface()->isServiceRegistered(kBusName).value(); },
                      kLineTimeoutMs));

    // Both players are mpv, and nothing of the program reaches an X server.
    m_port = freePort();
    m_program = std::make_unique<Program>(
        QStringLiteral("[Settings]\nportNum=%1\nVideoTitle=mpv\nAudioTitle=mpv\n").arg(m_port));
    startProgram(*m_program, m_port);
}

void E2eMpris::startProgram(Program& program, quint16 port) {
    program.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_busAddress);
    program.unsetEnvironment(QStringLiteral("DISPLAY"));
    program.unsetEnvironment(QStringLiteral("WAYLAND_DISPLAY"));
    program.withoutSoundDevices();
    QVERIFY(program.start({}));
    QVERIFY(waitForListener(program, port));
}

void E2eMpris::cleanupTestCase() {
    m_program.reset();
    if (m_player.state() != QProcess::NotRunning) {
        m_player.terminate();
        if (!m_player.waitForFinished(3000)) {
            m_player.kill();
            m_player.waitForFinished();
        }
    }
    m_bus.reset();
}

std::optional<QVariant> E2eMpris::playerProperty(const QString& name) {
    return playerCommand(QJsonArray{QStringLiteral("get_property"), name});
}

std::optional<QVariant> E2eMpris::playerCommand(const QJsonArray& command) {
    const QByteArray request = QJsonDocument(QJsonObject{{QStringLiteral("command"), command}})
                                   .toJson(QJsonDocument::Compact) +
                               '\n';
    m_control.write(request);
    m_control.flush();
    // Events the player reports on its own come on the same socket; the
    // answer is the line with an "error" field.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        if (!m_control.canReadLine() && !m_control.waitForReadyRead(200))
            continue;
        while (m_control.canReadLine()) {
            const QJsonObject answer = QJsonDocument::fromJson(m_control.readLine()).object();
            if (!answer.contains(QStringLiteral("error")))
                continue;
            if (answer.value(QStringLiteral("error")).toString() != QLatin1String("success"))
                return std::nullopt;
            return answer.value(QStringLiteral("data")).toVariant();
        }
    }
    return std::nullopt;
}

bool E2eMpris::waitForProperty(const QString& name,
                               const std::function<bool(const QVariant&)>& test) {
    return waitUntil(
        [&] {
            const std::optional<QVariant> value = playerProperty(name);
            return value && test(*value);
        },
        kLineTimeoutMs);
}

void E2eMpris::keysChangeTheRealPlayer_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("change"); // for a number; a flag must flip

    // Paused at the start of the first tone; each row starts where the
    // previous one left the player.
    QTest::newRow("video 5 plays")
        << QStringList{QStringLiteral("menu"), QStringLiteral("right"), QStringLiteral("5")}
        << QStringList{QStringLiteral("mode_Video"), kThrough, QStringLiteral("[Space] Pause")}
        << QStringLiteral("pause") << 0.0;
    QTest::newRow("video 5 pauses")
        << QStringList{QStringLiteral("5")}
        << QStringList{kThrough, QStringLiteral("[Space] Pause")} << QStringLiteral("pause") << 0.0;
    QTest::newRow("video Right") << QStringList{QStringLiteral("right")}
                                 << QStringList{kThrough, QStringLiteral("{right}")}
                                 << QStringLiteral("time-pos") << 10.0;
    QTest::newRow("video Left") << QStringList{QStringLiteral("left")}
                                << QStringList{kThrough, QStringLiteral("{left}")}
                                << QStringLiteral("time-pos") << -10.0;
    QTest::newRow("audio 6 next") << QStringList{QStringLiteral("menu"), QStringLiteral("up"),
                                                 QStringLiteral("6")}
                                  << QStringList{QStringLiteral("mode_Audio"), kThrough,
                                                 QStringLiteral("[B]Next Song")}
                                  << QStringLiteral("playlist-pos") << 1.0;
    QTest::newRow("audio Right") << QStringList{QStringLiteral("right")}
                                 << QStringList{kThrough, QStringLiteral("{right}")}
                                 << QStringLiteral("time-pos") << 5.0;
    QTest::newRow("audio Left") << QStringList{QStringLiteral("left")}
                                << QStringList{kThrough, QStringLiteral("{left}")}
                                << QStringLiteral("time-pos") << -5.0;
    QTest::newRow("audio 4 previous") << QStringList{QStringLiteral("4")}
                                      << QStringList{kThrough, QStringLiteral("[Z] Last Song")}
                                      << QStringLiteral("playlist-pos") << -1.0;
    QTest::newRow("audio 5 plays")
        << QStringList{QStringLiteral("5")} << QStringList{kThrough, QStringLiteral("[C] Pause")}
        << QStringLiteral("pause") << 0.0;
    QTest::newRow("audio 5 pauses")
        << QStringList{QStringLiteral("5")} << QStringList{kThrough, QStringLiteral("[C] Pause")}
        << QStringLiteral("pause") << 0.0;
}

void E2eMpris::keysChangeTheRealPlayer() {
    QFETCH(QStringList, keys);
    QFETCH(QStringList, lines);
    QFETCH(QString, name);
    QFETCH(double, change);
    QVERIFY(m_program);
    // Seeks are measured while paused and after the tone is loaded.
    QVERIFY(
        waitForProperty(QStringLiteral("time-pos"), [](const QVariant& v) { return v.isValid(); }));
    const std::optional<QVariant> before = playerProperty(name);
    QVERIFY(before);

    const KeyRun run = pressAndRead(*m_program, m_port, keys, lines, m_next);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));

    if (name == QLatin1String("pause")) {
        const bool wanted = !before->toBool();
        QVERIFY2(waitForProperty(name, [&](const QVariant& v) { return v.toBool() == wanted; }),
                 "the player did not switch between playing and paused");
    } else {
        const double wanted = before->toDouble() + change;
        QVERIFY2(
            waitForProperty(
                name, [&](const QVariant& v) { return std::fabs(v.toDouble() - wanted) < 0.5; }),
            qPrintable(QStringLiteral("%1 is %2, expected %3")
                           .arg(name)
                           .arg(playerProperty(name).value_or(QVariant()).toDouble())
                           .arg(wanted)));
    }
}

void E2eMpris::aTitleNoPlayerHasFailsNamingBoth() {
    // The default titles: no window (there is no display) and no player on the bus.
    const quint16 port = freePort();
    Program program(QStringLiteral("[Settings]\nportNum=%1\n").arg(port));
    startProgram(program, port);
    const std::optional<QVariant> before = playerProperty(QStringLiteral("pause"));
    QVERIFY(before);
    qsizetype next = 0;
    const QString failure = QStringLiteral(
        "Cannot bring the window \"VLC\" to the front: no X11 display is available (DISPLAY is "
        "not set); and no MPRIS player on the session bus matches \"VLC\"");
    const KeyRun run = pressAndRead(
        program, port, {QStringLiteral("menu"), QStringLiteral("right"), QStringLiteral("5")},
        {QStringLiteral("mode_Video"), failure, failure}, next);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY(!program.lines().contains(kThrough));
    const std::optional<QVariant> after = playerProperty(QStringLiteral("pause"));
    QVERIFY(after);
    QCOMPARE(after->toBool(), before->toBool());
}

// A player that is back takes the next key, however soon after: stopped, it
// fails each key with its line; running again (SIGCONT), the key after it
// reaches it. It carries out the calls it missed once it runs again.
void E2eMpris::aPlayerBackTakesTheNextKey_data() {
    QTest::addColumn<int>("afterMs"); // from SIGCONT to the key
    QTest::newRow("Right 0.2 s later") << 200;
    QTest::newRow("Right 0.5 s later") << 500;
    QTest::newRow("Right 1.3 s later") << 1300;
}

void E2eMpris::aPlayerBackTakesTheNextKey() {
    QFETCH(int, afterMs);
    QVERIFY(m_program);
    Program& program = *m_program;
    const qsizetype start = program.lines().size();
    const auto log = [&] { return program.lines().mid(start).join('\n').toLocal8Bit(); };
    // Paused at 20 s of a 60 s tone, in video mode, where Right jumps 10 s.
    QVERIFY(playerCommand({QStringLiteral("set_property"), QStringLiteral("pause"), true}));
    QVERIFY(playerCommand({QStringLiteral("seek"), 20, QStringLiteral("absolute")}));
    const auto at = [&](double seconds) {
        return waitForProperty(QStringLiteral("time-pos"), [&](const QVariant& v) {
            return std::fabs(v.toDouble() - seconds) < 0.5;
        });
    };
    QVERIFY(at(20));
    QVERIFY(press(m_port, {QStringLiteral("menu"), QStringLiteral("right")}));
    QVERIFY2(program.waitForLine(QStringLiteral("mode_Video"), start), log().constData());

    const QRegularExpression notTaken(QStringLiteral("^The MPRIS player .* did not take Seek"));
    QCOMPARE(::kill(pid_t(m_player.processId()), SIGSTOP), 0);
    const bool sent = press(m_port, {QStringLiteral("--delay"), QStringLiteral("0"),
                                     QStringLiteral("right"), QStringLiteral("right")});
    const bool failed = waitUntil(
        [&] { return program.lines().mid(start).filter(notTaken).size() == 2; }, kLineTimeoutMs);
    ::kill(pid_t(m_player.processId()), SIGCONT);
    QTest::qWait(afterMs);
    const qsizetype key = program.lines().size();
    // The jumps it missed while stopped may still be on their way: this one
    // adds at least its 10 s to where the player is now.
    const std::optional<QVariant> before = playerProperty(QStringLiteral("time-pos"));
    QVERIFY(before);
    QVERIFY(sent && failed && press(m_port, {QStringLiteral("right")}));
    QVERIFY2(program.waitForLines({kThrough, QStringLiteral("{right}")}, key) >= 0,
             log().constData());
    QVERIFY2(program.lines().mid(start).filter(notTaken).size() == 2, log().constData());
    QVERIFY2(waitForProperty(
                 QStringLiteral("time-pos"),
                 [&](const QVariant& v) { return v.toDouble() >= before->toDouble() + 9.5; }),
             log().constData());
    m_next = program.lines().size();
}

// A player that never answers (stopped) holds up its own keys only: a volume
// key and the door key after its key are handled at once, and the player's key
// ends with one line of its own.
void E2eMpris::aStoppedPlayerHoldsUpOnlyItsOwnKeys() {
    QVERIFY(m_program);
    Program& program = *m_program;
    const qsizetype start = program.lines().size();
    QCOMPARE(::kill(pid_t(m_player.processId()), SIGSTOP), 0);
    const bool sent =
        press(m_port, {QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("5"),
                       QStringLiteral("down"), QStringLiteral("57")});
    const bool doorStep = program.waitForLine(QStringLiteral("DoorPreOpen"), start);
    const QStringList before = program.lines().mid(start);
    // The player's key fails, once, after the others.
    const bool playerLine =
        waitUntil([&] { return program.lines().size() > start + before.size(); }, kLineTimeoutMs);
    ::kill(pid_t(m_player.processId()), SIGCONT);
    QVERIFY(sent);
    QVERIFY2(doorStep, qPrintable(program.lines().mid(start).join(QLatin1Char('\n'))));
    QVERIFY2(before.filter(QRegularExpression(QStringLiteral("^(\\[C\\] Pause|Cannot|Through)")))
                 .isEmpty(),
             qPrintable(before.join(QLatin1Char('\n'))));
    QVERIFY(before.filter(QRegularExpression(QStringLiteral("^Volume not changed \\(Vol-\\)")))
                .size() == 1);
    QVERIFY2(playerLine, qPrintable(program.lines().mid(start).join(QLatin1Char('\n'))));
    m_next = program.lines().size();
}

QTEST_GUILESS_MAIN(E2eMpris)
#include "test_e2e_mpris.moc"
