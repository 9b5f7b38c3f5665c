// The volume bubble on a real desktop: Debian's notification daemon dunst on
// a session bus of the test's own and the private X display, the real program
// against a private sound server, and ten Up keys from the handset
// simulator. The user must see one bubble that ends at the level the sound
// server has, not ten. What dunst shows is read back with dunstctl, as a user
// of dunst would; a picture of the screen with the bubble is kept in the
// artifacts folder (NUVOKRC_ARTIFACTS).

#include "e2e/programrun.h"
#include "support/missing.h"
#include "support/pulseserver.h"
#include "support/statusnotifier.h"
#include "support/x11desktop.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <cmath>

using namespace nuvok::e2e;
using namespace nuvok::test;

namespace {

// dunst's settings for the test, never the user's: NUVOKrc's bubbles stay on
// the screen while no one touches the display (the test never does), so that
// the picture finds them whatever the load, and closed they go to the history.
const char* const kDunstrc = R"([global]
    font = Sans 12
    width = 320
    notification_limit = 0
    progress_bar = true
    idle_threshold = 1
[nuvokrc]
    appname = NUVOKrc
    set_transient = no
)";

// What dunst keeps of a bubble in its history.
struct HistoryEntry {
    QString appname;
    QString summary;
    int progress = -1;
};

// dunst on the test's bus and display, printing each bubble it is sent.
class Dunst {
public:
    explicit Dunst(const QString& busAddress) : m_busAddress(busAddress) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        // dunst would take a Wayland display over the X one.
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        m_process.setProcessEnvironment(environment);
        m_dunstctl.setProcessEnvironment(environment);
    }

    ~Dunst() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Starts dunst and waits until it has the notification service's name on
    // the bus; empty when it has, else what went wrong.
    QString start(const QDBusConnection& bus) {
        QFile config(m_dir.filePath(QStringLiteral("dunstrc")));
        if (!config.open(QIODevice::WriteOnly) || config.write(kDunstrc) < 0)
            return QStringLiteral("the dunstrc could not be written");
        config.close();
        m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("dunst.log")));
        m_process.start(QStringLiteral("dunst"),
                        {QStringLiteral("-config"), config.fileName(), QStringLiteral("-print")});
        if (!m_process.waitForStarted(10000))
            return QStringLiteral("dunst did not start: ") + m_process.errorString();
        const bool owner = waitUntil(
            [&] {
                const QDBusReply<uint> pid =
                    bus.interface()->servicePid(QStringLiteral("org.freedesktop.Notifications"));
                return m_process.state() == QProcess::NotRunning ||
                       (pid.isValid() && qint64(pid.value()) == m_process.processId());
            },
            kLineTimeoutMs);
        if (!owner || m_process.state() == QProcess::NotRunning)
            return QStringLiteral("dunst did not take the notification service: ") + log();
        return {};
    }

    // The summaries of NUVOKrc's bubbles in the order dunst was sent them.
    QStringList summaries() {
        m_printed += m_process.readAllStandardOutput();
        QStringList found;
        QString appname;
        for (const QByteArray& raw : m_printed.split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            const auto quoted = [&](const QString& key) {
                return line.mid(key.size() + 3).chopped(1); // key: 'text'
            };
            if (line.startsWith(QLatin1String("appname: '")))
                appname = quoted(QStringLiteral("appname"));
            else if (line.startsWith(QLatin1String("summary: '")) &&
                     appname == QLatin1String("NUVOKrc"))
                found << quoted(QStringLiteral("summary"));
        }
        return found;
    }

    QString log() const {
        QFile file(m_dir.filePath(QStringLiteral("dunst.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(2000))
                                              : QString();
    }

    // dunstctl on the test's bus: its standard output, or an empty value
    // when it failed (the reason in m_failure).
    std::optional<QByteArray> dunstctl(const QStringList& arguments) {
        m_dunstctl.start(QStringLiteral("dunstctl"), arguments);
        if (!m_dunstctl.waitForFinished(kLineTimeoutMs)) {
            m_dunstctl.kill();
            m_dunstctl.waitForFinished();
            m_failure =
                QStringLiteral("dunstctl %1 did not finish").arg(arguments.join(QLatin1Char(' ')));
            return std::nullopt;
        }
        if (m_dunstctl.exitStatus() != QProcess::NormalExit || m_dunstctl.exitCode() != 0) {
            m_failure = QStringLiteral("dunstctl %1: %2")
                            .arg(arguments.join(QLatin1Char(' ')),
                                 QString::fromUtf8(m_dunstctl.readAllStandardError()));
            return std::nullopt;
        }
        return m_dunstctl.readAllStandardOutput();
    }

    // `dunstctl count displayed|waiting|history`; -1 when it cannot be read.
    int count(const QString& which) {
        const std::optional<QByteArray> out = dunstctl({QStringLiteral("count"), which});
        bool ok = false;
        const int n = out ? out->trimmed().toInt(&ok) : -1;
        return ok ? n : -1;
    }

    // `dunstctl history` (busctl's JSON: {"type": "aa{sv}", "data": [[{key:
    // {"type", "data"}}...]]}); empty when it cannot be read.
    std::optional<QList<HistoryEntry>> history() {
        const std::optional<QByteArray> out = dunstctl({QStringLiteral("history")});
        if (!out)
            return std::nullopt;
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(*out, &error);
        if (error.error != QJsonParseError::NoError) {
            m_failure = QStringLiteral("dunstctl history: ") + error.errorString() +
                        QLatin1Char('\n') + QString::fromUtf8(*out);
            return std::nullopt;
        }
        QList<HistoryEntry> entries;
        const QJsonArray lists = document.object().value(QLatin1String("data")).toArray();
        for (const QJsonValue& each : lists.at(0).toArray()) {
            const QJsonObject entry = each.toObject();
            const auto field = [&](const char* name) {
                return entry.value(QLatin1String(name)).toObject().value(QLatin1String("data"));
            };
            entries.push_back({field("appname").toString(), field("summary").toString(),
                               field("progress").toInt(-1)});
        }
        return entries;
    }

    const QString& failure() const { return m_failure; }

private:
    QString m_busAddress;
    QTemporaryDir m_dir;
    QProcess m_process;
    QProcess m_dunstctl;
    QByteArray m_printed;
    QString m_failure;
};

QString missingTools() {
    const std::pair<const char*, const char*> tools[] = {
        {"dunst", "dunst"},
        {"dunstctl", "dunst"},
        {"dbus-daemon", "dbus-daemon"},
        // dunstctl's history reads the bus with busctl.
        {"busctl", "systemd"}};
    for (const auto& [tool, package] : tools)
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed (Debian package %2)")
                .arg(QLatin1String(tool), QLatin1String(package));
    return PulseServer::missing();
}

// The whole screen, and the bubble alone, into the artifacts folder.
void keepPicture(const DesktopProbe& probe) {
    const QString folder = qEnvironmentVariable("NUVOKRC_ARTIFACTS", QStringLiteral("."));
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    screen.save(folder + QStringLiteral("/dunst-screen.png"));
    for (unsigned long window : probe.windowsTitled(QStringLiteral("Dunst"))) {
        const DesktopProbe::WindowView seen = probe.view(window);
        if (seen.viewable)
            screen.copy(seen.frame).save(folder + QStringLiteral("/dunst-volume-bubble.png"));
    }
    qInfo("picture of the screen in %s", qPrintable(QDir(folder).absolutePath()));
}

} // namespace

class EndToEndDunstTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void tenVolumeKeysShowOneBubbleAtTheServersLevel();

private:
    DesktopProbe m_probe;
};

void EndToEndDunstTest::initTestCase() {
    QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
}

void EndToEndDunstTest::tenVolumeKeysShowOneBubbleAtTheServersLevel() {
    if (const QString missing = missingTools(); !missing.isEmpty())
        NUVOK_SKIP_MISSING(missing);
    PulseServer server;
    QVERIFY2(server.start(), qPrintable(server.log()));
    PrivateSessionBus bus;
    QVERIFY2(!bus.address().isEmpty(), "dbus-daemon did not start");
    Dunst dunst(bus.address());
    const QString started = dunst.start(bus.connection());
    QVERIFY2(started.isEmpty(), qPrintable(started));

    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QString{}, QStringLiteral("xcb"));
    program.withoutSoundDevices();
    program.setEnvironment(QStringLiteral("PULSE_SERVER"), server.address());
    program.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    const auto log = [&] {
        return QStringLiteral("\nprogram's log:\n") + program.lines().join(QLatin1Char('\n')) +
               QStringLiteral("\ndunst's log:\n") + dunst.log();
    };
    QVERIFY2(waitForListener(program, port), qPrintable(log()));
    const QList<long> before = server.sinkVolumes(QStringLiteral("spk"));
    QVERIFY(!before.isEmpty());

    const qsizetype from = program.lines().size();
    QVERIFY(press(port, QStringList(10, QStringLiteral("up"))));
    const auto steps = [&] {
        return program.lines()
            .mid(from)
            .filter(QRegularExpression(QStringLiteral("^Vol\\+$")))
            .size();
    };
    QVERIFY2(waitUntil([&] { return steps() == 10; }, 4 * kLineTimeoutMs), qPrintable(log()));

    // The level the sound server has now, as the bubble must say it.
    const QList<long> after = server.sinkVolumes(QStringLiteral("spk"));
    QVERIFY2(!after.isEmpty() && after.count(after.front()) == after.size() &&
                 after.front() > before.front(),
             qPrintable(log()));
    const int percent = int(std::lround(100.0 * double(after.front()) / 65536.0));
    const QString expected = QStringLiteral("Volume %1 %").arg(percent);

    // The last bubble dunst was sent says so.
    QVERIFY2(waitUntil(
                 [&] {
                     const QStringList sent = dunst.summaries();
                     return !sent.isEmpty() && sent.back() == expected;
                 },
                 4 * kLineTimeoutMs),
             qPrintable(QStringLiteral("expected \"%1\", dunst was sent: %2")
                            .arg(expected, dunst.summaries().join(QStringLiteral(", "))) +
                        log()));
    const QStringList sent = dunst.summaries();
    qInfo("dunst was sent %lld bubbles for 10 keys: %s", static_cast<long long>(sent.size()),
          qPrintable(sent.join(QStringLiteral(", "))));
    QVERIFY2(sent.size() <= 10, qPrintable(sent.join(QStringLiteral(", "))));

    // One bubble on the screen, none waiting behind it.
    int displayed = -1;
    QVERIFY2(waitUntil(
                 [&] {
                     displayed = dunst.count(QStringLiteral("displayed"));
                     return displayed == 1 && dunst.count(QStringLiteral("waiting")) == 0;
                 },
                 kLineTimeoutMs),
             qPrintable(QStringLiteral("displayed %1, waiting %2 %3")
                            .arg(displayed)
                            .arg(dunst.count(QStringLiteral("waiting")))
                            .arg(dunst.failure()) +
                        log()));
    keepPicture(m_probe);

    // Closed, it is the one bubble of NUVOKrc in the history, at that level.
    QVERIFY2(dunst.dunstctl({QStringLiteral("close-all")}), qPrintable(dunst.failure()));
    QList<HistoryEntry> ours;
    QVERIFY2(waitUntil(
                 [&] {
                     const std::optional<QList<HistoryEntry>> history = dunst.history();
                     ours.clear();
                     for (const HistoryEntry& entry : history.value_or(QList<HistoryEntry>{}))
                         if (entry.appname == QLatin1String("NUVOKrc"))
                             ours << entry;
                     return !ours.isEmpty() && dunst.count(QStringLiteral("displayed")) == 0;
                 },
                 kLineTimeoutMs),
             qPrintable(dunst.failure() + log()));
    QCOMPARE(ours.size(), 1);
    QCOMPARE(ours.front().summary, expected);
    QCOMPARE(ours.front().progress, percent);
    QVERIFY2(program.lines().filter(QStringLiteral("Notifications are not shown")).isEmpty(),
             qPrintable(log()));
}

QTEST_MAIN(EndToEndDunstTest)
#include "test_e2e_dunst.moc"
