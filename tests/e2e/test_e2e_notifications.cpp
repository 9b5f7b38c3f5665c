// The real program's bubbles, against a stand-in notification service on a
// session bus of the test's own and a private sound server: a burst of volume
// steps is one bubble that ends at the level the sink has, the modes and the
// failures say so, the setting switches them off, and a missing or hung
// service costs no key.

#include "programrun.h"
#include "support/missing.h"
#include "support/notificationstandin.h"
#include "support/pulseserver.h"
#include "support/statusnotifier.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

using namespace nuvok::e2e;
using nuvok::test::NotificationStandIn;
using nuvok::test::PrivateSessionBus;
using nuvok::test::PulseServer;

namespace {

using Call = NotificationStandIn::Call;

// The program on the test's bus and sound server, listening on a free port.
struct Run {
    PulseServer sound;
    PrivateSessionBus bus;
    std::unique_ptr<NotificationStandIn> standIn;
    std::unique_ptr<Program> program;
    quint16 port = 0;

    // Starts the program with these settings, with a service that answers
    // so (none: no service on the bus).
    bool start(const QString& settings, std::optional<NotificationStandIn::Answer> answer) {
        if (!sound.start() || bus.address().isEmpty())
            return false;
        if (answer) {
            standIn = std::make_unique<NotificationStandIn>(bus.connection());
            standIn->setAnswer(*answer);
            if (!standIn->registered())
                return false;
        }
        port = freePort();
        program = std::make_unique<Program>(QStringLiteral("[Settings]\n") + settings);
        program->withoutSoundDevices();
        program->setEnvironment(QStringLiteral("PULSE_SERVER"), sound.address());
        program->setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        return port != 0 && program->start({QStringLiteral("-port"), QString::number(port)}) &&
               waitForListener(*program, port);
    }
    QList<Call> calls() const { return standIn ? standIn->calls() : QList<Call>{}; }
    QString log() { return program->lines().join(QLatin1Char('\n')); }
    // Waits until the last bubble of this kind reads so.
    bool waitForLast(bool failure, const QString& text) {
        return waitUntil(
            [&] {
                const QList<Call> all = calls();
                for (qsizetype i = all.size() - 1; i >= 0; --i)
                    if (all[i].hints.contains("transient") != failure)
                        return (failure ? all[i].body : all[i].summary) == text;
                return false;
            },
            kLineTimeoutMs);
    }
    // The sink's level as the bubble words it.
    int sinkPercent() {
        const QList<long> volumes = sound.sinkVolumes(QStringLiteral("spk"));
        return volumes.isEmpty() ? -1 : int(std::lround(100.0 * volumes.front() / 65536));
    }
};

QStringList keys(const QString& key, int count) {
    QStringList keys{QStringLiteral("--delay"), QStringLiteral("0")};
    for (int i = 0; i < count; ++i)
        keys << key;
    return keys;
}

} // namespace

class EndToEndNotificationsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void aBurstOfStepsIsOneBubbleAtTheSinksLevel();
    void modesAndFailuresSaySo();
    void switchedOffInTheSettingsNothingIsShown();
    void withoutAWorkingServiceEveryKeyIsHandled_data();
    void withoutAWorkingServiceEveryKeyIsHandled();
};

void EndToEndNotificationsTest::init() {
    if (const QString missing = PulseServer::missing(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs dbus-daemon"));
}

void EndToEndNotificationsTest::aBurstOfStepsIsOneBubbleAtTheSinksLevel() {
    Run run;
    QVERIFY2(run.start({}, NotificationStandIn::Answer::Normally), qPrintable(run.log()));
    QVERIFY(press(run.port, keys(QStringLiteral("up"), 10)));
    // 30 % and ten fifteenths of the range.
    QVERIFY(waitUntil([&] { return run.sinkPercent() == 97; }, kLineTimeoutMs));
    QVERIFY2(run.waitForLast(false, QStringLiteral("Volume 97 %")), qPrintable(run.log()));
    const QList<Call> burst = run.calls();
    QVERIFY(burst.size() <= 10);
    QCOMPARE(burst.last().hints.value("value").toInt(), run.sinkPercent());
    QCOMPARE(burst.first().replacesId, 0u);
    for (const Call& call : burst) {
        QCOMPARE(call.id, burst.first().id);
        QVERIFY(call.replacesId == 0 || call.replacesId == burst.first().id);
    }
    // The same bubble says where the range ends.
    QVERIFY(press(run.port, keys(QStringLiteral("up"), 2)));
    QVERIFY2(run.waitForLast(false, QStringLiteral("Volume 100 % (maximum)")),
             qPrintable(run.log()));
    QVERIFY(press(run.port, keys(QStringLiteral("down"), 16)));
    QVERIFY2(run.waitForLast(false, QStringLiteral("Volume 0 % (minimum)")), qPrintable(run.log()));
    QCOMPARE(run.calls().last().replacesId, burst.first().id);
    QVERIFY(!run.log().contains(QStringLiteral("Notifications")));
}

// A mode chosen with Menu; a player that is not there, a controller command
// not delivered and a volume step not made, each the line the log shows.
void EndToEndNotificationsTest::modesAndFailuresSaySo() {
    const quint16 noController = freePort();
    Run run;
    QVERIFY2(
        run.start(QStringLiteral("ControllerHost=127.0.0.1\nControllerPort=%1\n").arg(noController),
                  NotificationStandIn::Answer::Normally),
        qPrintable(run.log()));
    const QList<std::pair<QString, QString>> modes{{QStringLiteral("right"), "Video mode"},
                                                   {QStringLiteral("up"), "Audio mode"},
                                                   {QStringLiteral("left"), "LED control"},
                                                   {QStringLiteral("239"), "Idle"}};
    for (const auto& [key, mode] : modes) {
        QVERIFY(press(run.port, {QStringLiteral("menu"), key}));
        QVERIFY2(run.waitForLast(false, mode), qPrintable(mode + QLatin1Char('\n') + run.log()));
    }
    const auto failureLine = [&](const QString& start) {
        for (const QString& line : run.program->lines())
            if (line.startsWith(start))
                return line;
        return QString();
    };
    // Neither the players' windows nor players on the bus are there.
    for (const QString& player : {QStringLiteral("VLC"), QStringLiteral("Winamp")}) {
        const QString line =
            failureLine(QStringLiteral("Cannot bring the window \"%1\"").arg(player));
        QVERIFY2(!line.isEmpty(), qPrintable(run.log()));
        QVERIFY2(waitUntil(
                     [&] {
                         const QList<Call> all = run.calls();
                         return std::any_of(all.begin(), all.end(),
                                            [&](const Call& call) { return call.body == line; });
                     },
                     kLineTimeoutMs),
                 qPrintable(line));
    }
    QVERIFY(press(run.port, {QStringLiteral("menu"), QStringLiteral("left"), QStringLiteral("3")}));
    QVERIFY(waitUntil([&] { return !failureLine(QStringLiteral("Controller ")).isEmpty(); },
                      kLineTimeoutMs));
    QVERIFY2(run.waitForLast(true, failureLine(QStringLiteral("Controller "))),
             qPrintable(run.log()));
    run.sound.stop();
    QVERIFY(press(run.port, {QStringLiteral("menu"), QStringLiteral("239"), QStringLiteral("up")}));
    const QString volume = QStringLiteral("Volume not changed (Vol+)");
    QVERIFY(waitUntil([&] { return !failureLine(volume).isEmpty(); }, kLineTimeoutMs));
    QVERIFY2(run.waitForLast(true, failureLine(volume)), qPrintable(run.log()));
}

void EndToEndNotificationsTest::switchedOffInTheSettingsNothingIsShown() {
    Run run;
    QVERIFY2(
        run.start(QStringLiteral("Notifications=false\n"), NotificationStandIn::Answer::Normally),
        qPrintable(run.log()));
    QVERIFY(press(run.port, {QStringLiteral("up"), QStringLiteral("menu"), QStringLiteral("up")}));
    QVERIFY(run.program->waitForLine(QStringLiteral("mode_Audio")));
    QVERIFY(waitUntil([&] { return run.sinkPercent() == 37; }, kLineTimeoutMs));
    QTest::qWait(300);
    QCOMPARE(run.calls().size(), 0);
}

void EndToEndNotificationsTest::withoutAWorkingServiceEveryKeyIsHandled_data() {
    QTest::addColumn<int>("answer"); // -1: no service on the bus
    QTest::addColumn<QString>("line");
    QTest::newRow("no service") << -1
                                << "Notifications are not shown: the desktop has no notification "
                                   "service";
    QTest::newRow("hung") << int(NotificationStandIn::Answer::Hang)
                          << "Notifications are not shown: the notification service did not "
                             "answer within 1 s";
}

void EndToEndNotificationsTest::withoutAWorkingServiceEveryKeyIsHandled() {
    QFETCH(int, answer);
    QFETCH(QString, line);
    Run run;
    QVERIFY2(run.start({}, answer < 0 ? std::nullopt
                                      : std::optional(NotificationStandIn::Answer(answer))),
             qPrintable(run.log()));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(press(run.port, keys(QStringLiteral("up"), 10)));
    QVERIFY(waitUntil([&] { return run.sinkPercent() == 97; }, kLineTimeoutMs));
    QVERIFY(press(run.port, {QStringLiteral("menu"), QStringLiteral("right")}));
    QVERIFY(run.program->waitForLine(line));
    // A plain key while the service still fails or hangs.
    const qsizetype before = run.program->lines().size();
    QVERIFY(press(run.port, {QStringLiteral("menu")}));
    QElapsedTimer key;
    key.start();
    QVERIFY(run.program->waitForLine(QStringLiteral("bMenu 1"), before));
    qInfo("the key's line came %lld ms after the handset sent it",
          static_cast<long long>(key.elapsed()));
    QVERIFY(key.elapsed() < 250);
    QCOMPARE(run.program->lines().count(line), 1);
    QCOMPARE(run.program->lines().filter(QStringLiteral("Notifications")).size(), 1);
    // A hung service is asked no more than about once a second.
    QVERIFY(run.calls().size() <= clock.elapsed() / 1000 + 2);
}

QTEST_GUILESS_MAIN(EndToEndNotificationsTest)
#include "test_e2e_notifications.moc"
