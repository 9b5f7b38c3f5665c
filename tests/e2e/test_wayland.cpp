// The real program on a Wayland desktop of scripts/private-desktop.sh: sway
// with waybar's tray as the notification area, or weston without one, and a
// private sound server. Nothing reaches an X server. Where the window is, is
// read from the compositor (swaymsg); the icon is reached over the session
// bus, as the panel reaches it.

#include "e2e/programrun.h"
#include "support/missing.h"
#include "support/statusnotifier.h"
#include "support/x11desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QUdpSocket>

using namespace nuvok::e2e;
using namespace nuvok::test;

namespace {

const QString kProgramTitle = QStringLiteral("NUVOK Remote Control");
const QString kNoAreaLine = QStringLiteral("No notification area found: the window stays open, "
                                           "as this Wayland desktop may not give a minimised "
                                           "window back");
const QString kAreaFoundLine =
    QStringLiteral("Notification area found: a click on the icon puts the window away there");
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
// How long a put-away window must stay put away.
constexpr int kSteadyMs = 700;
// How long the compositor may take to map a new window and move the focus on
// a loaded 2-core machine, where XWayland and sway share the cores with the
// test, the program and a build.
constexpr int kCompositorTimeoutMs = 60000;

bool desktopHasTray() {
    return qEnvironmentVariable("NUVOKRC_DESKTOP_TRAY") == QLatin1String("yes");
}

bool onSway() {
    return qEnvironmentVariable("NUVOKRC_DESKTOP_WM") == QLatin1String("sway");
}

// Declares `display`, the display of sway's XWayland, or leaves the test:
// the tests' weston desktop offers none, so the XWayland rows do not apply
// there; on sway its absence is a want.
#define NUVOK_XWAYLAND_ON_SWAY(display)                                                            \
    if (!onSway())                                                                                 \
        QSKIP("only the sway desktop offers XWayland here");                                       \
    const QString display = qEnvironmentVariable("NUVOKRC_DESKTOP_XWAYLAND");                      \
    if (display.isEmpty()) {                                                                       \
        NUVOK_SKIP_MISSING(QStringLiteral("needs XWayland on sway (Debian package xwayland)"));    \
    }                                                                                              \
    static_assert(true)

// A command's standard output; empty when it fails.
QByteArray outputOf(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// The program's main window in sway's tree: absent while the program keeps
// it hidden, present and visible once shown.
struct SwayWindow {
    bool present = false;
    bool visible = false;
    bool focused = false;
    bool urgent = false; // asked to come to the front, and refused
};

void findIn(const QJsonObject& node, qint64 pid, const QString& title, SwayWindow& found) {
    if (node.value(QStringLiteral("pid")).toInteger() == pid &&
        node.value(QStringLiteral("name")).toString() == title) {
        found.present = true;
        found.visible = found.visible || node.value(QStringLiteral("visible")).toBool();
        found.focused = found.focused || node.value(QStringLiteral("focused")).toBool();
        found.urgent = found.urgent || node.value(QStringLiteral("urgent")).toBool();
    }
    for (const char* key : {"nodes", "floating_nodes"})
        for (const QJsonValue child : node.value(QLatin1String(key)).toArray())
            findIn(child.toObject(), pid, title, found);
}

SwayWindow swayWindow(qint64 pid, const QString& title = kProgramTitle) {
    SwayWindow found;
    const QJsonDocument tree = QJsonDocument::fromJson(
        outputOf(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")}));
    findIn(tree.object(), pid, title, found);
    return found;
}

// Waits until the window is gone from the compositor and stays gone.
QString settlesHidden(qint64 pid) {
    if (!waitUntil([&] { return !swayWindow(pid).present; }, kLineTimeoutMs))
        return QStringLiteral("the window is still on the desktop");
    QTest::qWait(kSteadyMs);
    if (swayWindow(pid).present)
        return QStringLiteral("the window came back");
    return {};
}

bool shownOnSway(qint64 pid) {
    return waitUntil([&] { return swayWindow(pid).visible; }, kLineTimeoutMs);
}

// Waits until the window is mapped and in sway's tree, then until it has the
// focus. Whether sway focuses a new window by itself depends on its release
// and on when the window maps, so where the focus has not come it is asked
// for, as a user's click would give it, once a second until it is there.
// Empty when the window has the focus; else what was missing.
QString focusedOnSway(qint64 pid, const QString& title) {
    if (!waitUntil([&] { return swayWindow(pid, title).visible; }, kCompositorTimeoutMs))
        return QStringLiteral("the window \"%1\" never showed on sway").arg(title);
    QElapsedTimer sinceAsked;
    const bool focused = waitUntil(
        [&] {
            if (swayWindow(pid, title).focused)
                return true;
            if (!sinceAsked.isValid() || sinceAsked.hasExpired(1000)) {
                outputOf(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] focus").arg(pid)});
                sinceAsked.start();
            }
            return false;
        },
        kCompositorTimeoutMs);
    return focused ? QString()
                   : QStringLiteral("sway did not give the window \"%1\" the focus").arg(title);
}

// The first channel's raw volume of the default sink, as the server says.
long sinkVolume() {
    const auto match = QRegularExpression(QStringLiteral(R"(:\s*(\d+)\s*/)"))
                           .match(QString::fromUtf8(outputOf(QStringLiteral("pactl"),
                                                             {QStringLiteral("get-sink-volume"),
                                                              QStringLiteral("@DEFAULT_SINK@")})));
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

} // namespace

class WaylandDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startUpPutsTheWindowAwayOrLeavesItOpen();
    void underXWaylandTheProgramWorksAsOnX11();
    void theIconShowsAndPutsAwayTheWindow_data();
    void theIconShowsAndPutsAwayTheWindow();
    void closingEndsTheProgramWithStatusZero();
    void aTakenPortKeepsTheWindowReachable();
    void aLaterStartShowsTheWindowAndAddsNoIcon();
    void aPlayerKeyAndAVolumeStepWork();
    void aPlayerUnderXWaylandIsTypedIntoOnlyInFront_data();
    void aPlayerUnderXWaylandIsTypedIntoOnlyInFront();
    void aPanelThatStartsLaterTakesTheIcon();
    void aPanelThatQuitsGivesTheWindowBackAndTakesItAgainOnItsReturn();

private:
    // Started on the desktop's display (X11 only where the test gives one).
    bool start(Program& program, const QStringList& arguments);
    // The program's icon in the panel's tray, once it is there.
    StatusNotifierItemRef icon(qint64 pid);
    // Ends the panel (waybar, whose tray is the watcher) and waits until its
    // tray is gone; empty when it is, else what went wrong.
    QString stopPanel();
    // Starts the panel again, as a session does that starts it late.
    QString startPanel();
    bool watcherThere() { return m_bus.interface()->isServiceRegistered(kWatcherService).value(); }

    QDBusConnection m_bus = QDBusConnection::sessionBus();
};

void WaylandDesktopTest::initTestCase() {
    QVERIFY2(qEnvironmentVariable("NUVOKRC_DESKTOP_PLATFORM") == QLatin1String("wayland") &&
                 qEnvironmentVariableIsSet("WAYLAND_DISPLAY"),
             "run this test through scripts/private-desktop.sh --wm sway or --wm weston");
    QVERIFY2(!qEnvironmentVariableIsSet("DISPLAY"), "the desktop must offer no X11 display");
    QVERIFY(m_bus.isConnected());
}

bool WaylandDesktopTest::start(Program& program, const QStringList& arguments) {
    // For sanitizer builds (ignored otherwise): the Wayland libraries are
    // built without frame pointers, and only full stacks match the leak
    // suppressions of the platform's own objects.
    program.setEnvironment(QStringLiteral("ASAN_OPTIONS"),
                           QStringLiteral("fast_unwind_on_malloc=0"));
    return program.start(arguments);
}

StatusNotifierItemRef WaylandDesktopTest::icon(qint64 pid) {
    StatusNotifierItemRef item;
    waitUntil(
        [&] {
            item = findStatusNotifierItem(m_bus, pid);
            return item.valid();
        },
        kLineTimeoutMs);
    return item;
}

QString WaylandDesktopTest::stopPanel() {
    const QDBusReply<uint> panel = m_bus.interface()->servicePid(kWatcherService);
    if (!panel.isValid())
        return QStringLiteral("no panel owns the watcher: ") + panel.error().message();
    if (QProcess::execute(QStringLiteral("kill"), {QString::number(panel.value())}) != 0)
        return QStringLiteral("the panel (%1) could not be ended").arg(panel.value());
    if (!waitUntil([&] { return !watcherThere(); }, kLineTimeoutMs))
        return QStringLiteral("the panel's tray stayed");
    return {};
}

QString WaylandDesktopTest::startPanel() {
    const QString panel = qEnvironmentVariable("NUVOKRC_DESKTOP_PANEL");
    if (panel.isEmpty())
        return QStringLiteral("NUVOKRC_DESKTOP_PANEL is not set: run through "
                              "scripts/private-desktop.sh --wm sway");
    // Ended with the desktop, as the panel it replaces.
    if (!QProcess::startDetached(panel, {}))
        return QStringLiteral("%1 did not start").arg(panel);
    if (!waitUntil([&] { return watcherThere(); }, kCompositorTimeoutMs))
        return QStringLiteral("the panel's tray did not come up");
    return {};
}

void WaylandDesktopTest::startUpPutsTheWindowAwayOrLeavesItOpen() {
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(waitForListener(program, port), qPrintable(program.lines().join(QLatin1Char('\n'))));
    // The toolkit's X11 notification-area code looks for a signal that only
    // its X11 platform has; that says nothing to the user.
    for (const QString& line : program.everyLine())
        QVERIFY2(!line.contains(QLatin1String("QObject::connect")), qPrintable(line));
    if (!desktopHasTray()) {
        // Nothing here could give a minimised window back: it stays open.
        QVERIFY2(program.lines().contains(kNoAreaLine),
                 qPrintable(program.lines().join(QLatin1Char('\n'))));
        return;
    }
    const qint64 pid = program.process().processId();
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), "no icon in the panel's tray");
    const QString failure = settlesHidden(pid);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(!program.lines().contains(kNoAreaLine));
    // The panel names the icon after the program.
    QCOMPARE(statusNotifierProperty(m_bus, item, QStringLiteral("Title")).toString(),
             QStringLiteral("NUVOKrc"));
    QCOMPARE(statusNotifierToolTipTitle(m_bus, item), QStringLiteral("NUVOKrc"));
}

// Started with the xcb platform (as without qt6-wayland), the program runs
// through XWayland as on X11: hidden into the icon, shown by a click,
// closed by the compositor.
void WaylandDesktopTest::underXWaylandTheProgramWorksAsOnX11() {
    NUVOK_XWAYLAND_ON_SWAY(xwayland);
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    program.setEnvironment(QStringLiteral("DISPLAY"), xwayland);
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(waitForListener(program, port), qPrintable(program.lines().join(QLatin1Char('\n'))));
    const qint64 pid = program.process().processId();
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), "no icon in the panel's tray");
    const QString failure = settlesHidden(pid);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(activateStatusNotifierItem(m_bus, item));
    QVERIFY(shownOnSway(pid));
    QVERIFY(
        !outputOf(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] kill").arg(pid)}).isEmpty());
    QVERIFY(program.process().waitForFinished(kLineTimeoutMs));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    for (const QString& line : program.lines())
        QVERIFY2(!line.contains(QLatin1String("notification area")), qPrintable(line));
}

void WaylandDesktopTest::theIconShowsAndPutsAwayTheWindow_data() {
    QTest::addColumn<bool>("rightClick");
    QTest::newRow("left click (Activate)") << false;
    QTest::newRow("right click (ContextMenu)") << true;
}

void WaylandDesktopTest::theIconShowsAndPutsAwayTheWindow() {
    QFETCH(bool, rightClick);
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), "no icon in the panel's tray");
    QVERIFY(settlesHidden(pid).isEmpty());
    const auto click = [&] {
        return rightClick ? contextMenuStatusNotifierItem(m_bus, item)
                          : activateStatusNotifierItem(m_bus, item);
    };
    for (int round = 0; round < 2; ++round) {
        QVERIFY(click());
        QVERIFY2(shownOnSway(pid), qPrintable(QStringLiteral("round %1: not shown").arg(round)));
        QVERIFY(click());
        const QString failure = settlesHidden(pid);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("round %1: ").arg(round) + failure));
    }
}

void WaylandDesktopTest::closingEndsTheProgramWithStatusZero() {
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    if (onSway()) {
        // Shown through the icon, then closed by the compositor as by its
        // close button.
        if (desktopHasTray()) {
            const StatusNotifierItemRef item = icon(pid);
            QVERIFY(activateStatusNotifierItem(m_bus, item));
        }
        QVERIFY(shownOnSway(pid));
        QVERIFY(!outputOf(QStringLiteral("swaymsg"), {QStringLiteral("[pid=%1] kill").arg(pid)})
                     .isEmpty());
    } else {
        // weston has no tool that closes a window; the session's end does it.
        program.process().terminate();
    }
    QVERIFY(program.process().waitForFinished(kLineTimeoutMs));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
}

void WaylandDesktopTest::aTakenPortKeepsTheWindowReachable() {
    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    const QString port = QString::number(occupier.localPort());
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), port}));
    QVERIFY2(waitUntil([&] { return !program.lines().filter(port).isEmpty(); }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    if (!desktopHasTray()) {
        QVERIFY(program.waitForLine(kNoAreaLine));
        QCOMPARE(program.process().state(), QProcess::Running);
        return;
    }
    const qint64 pid = program.process().processId();
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), "no icon in the panel's tray");
    QVERIFY(settlesHidden(pid).isEmpty());
    QVERIFY(activateStatusNotifierItem(m_bus, item));
    QVERIFY(shownOnSway(pid));
}

// Later starts are handed to the program that runs: -min and a port leave the
// window in the icon, a start without arguments maps it; none adds a window
// or an icon.
void WaylandDesktopTest::aLaterStartShowsTheWindowAndAddsNoIcon() {
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    QVERIFY(icon(pid).valid());
    QVERIFY(settlesHidden(pid).isEmpty());
    const quint16 free = freePort();
    const QString failure = laterStartsKeepTheWindow(program, free, QStringLiteral("wayland"),
                                                     [&] { return settlesHidden(pid); });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(waitForListener(program, free));
    const LaterStart shown = startAgain(program, {}, QStringLiteral("wayland"));
    QVERIFY2(shown.exitCode == 0, qPrintable(shown.said));
    QVERIFY(shownOnSway(pid));
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("RegisteredStatusNotifierItems");
    const QDBusReply<QDBusVariant> items = m_bus.call(get);
    QVERIFY2(items.isValid(), qPrintable(items.error().message()));
    QCOMPARE(items.value().variant().toStringList().size(), 1);
}

// MPRIS is how players are reached on Wayland; the volume goes to the sound
// server as anywhere.
void WaylandDesktopTest::aPlayerKeyAndAVolumeStepWork() {
    const QString plugin = mprisPlugin();
    if (QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty() || plugin.isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs mpv and mpv-mpris"));
    if (QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty() ||
        !qEnvironmentVariableIsSet("PULSE_SERVER"))
        NUVOK_SKIP_MISSING(
            QStringLiteral("needs the private sound server of tests/mixer/with-pulseaudio.sh"));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QProcess player;
    player.start(QStringLiteral("mpv"),
                 {QStringLiteral("--no-config"), QStringLiteral("--script=") + plugin,
                  QStringLiteral("--ao=null"), QStringLiteral("--vo=null"),
                  QStringLiteral("--idle=yes"), QStringLiteral("--pause"),
                  QStringLiteral("av://lavfi:sine=duration=60")});
    QVERIFY(player.waitForStarted(5000));
    const auto status = [&] {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.mpris.MediaPlayer2.mpv"), QStringLiteral("/org/mpris/MediaPlayer2"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        call << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("PlaybackStatus");
        const QDBusMessage answer = m_bus.call(call, QDBus::Block, 5000);
        return answer.arguments().isEmpty()
                   ? QString()
                   : answer.arguments().first().value<QDBusVariant>().variant().toString();
    };
    QVERIFY2(waitUntil([&] { return status() == QLatin1String("Paused"); }, kLineTimeoutMs),
             qPrintable(QStringLiteral("the player says '%1'").arg(status())));

    QVERIFY(QProcess::execute(QStringLiteral("pactl"),
                              {QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                               QStringLiteral("30%")}) == 0);
    const long before = sinkVolume();
    QVERIFY(before > 0);

    const quint16 port = freePort();
    Program program(QStringLiteral("[Settings]\nVideoTitle=mpv\n"), QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    qsizetype next = 0;
    KeyRun run =
        pressAndRead(program, port, {QStringLiteral("up")}, {QStringLiteral("Vol+")}, next);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY2(waitUntil([&] { return sinkVolume() != before; }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    // One fifteenth of the full range.
    QVERIFY2(qAbs(sinkVolume() - before - 65536 / 15) <= 2,
             qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(sinkVolume())));

    run = pressAndRead(program, port,
                       {QStringLiteral("menu"), QStringLiteral("right"), QStringLiteral("5")},
                       {QStringLiteral("mode_Video"),
                        QStringLiteral("Through MPRIS: mpv (org.mpris.MediaPlayer2.mpv)"),
                        QStringLiteral("[Space] Pause")},
                       next);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QVERIFY2(waitUntil([&] { return status() == QLatin1String("Playing"); }, kLineTimeoutMs),
             qPrintable(QStringLiteral("the player says '%1'").arg(status())));

    player.terminate();
    if (!player.waitForFinished(5000))
        player.kill();
    player.waitForFinished();
}

void WaylandDesktopTest::aPlayerUnderXWaylandIsTypedIntoOnlyInFront_data() {
    QTest::addColumn<bool>("programInFront");
    QTest::newRow("player in front") << false;
    QTest::newRow("program's window in front") << true;
}

// An X11 player under XWayland is found by its title. Typed into it is only
// while it has the focus already: sway, like most compositors, does not let
// one program bring another's window to the front; it marks it urgent.
void WaylandDesktopTest::aPlayerUnderXWaylandIsTypedIntoOnlyInFront() {
    QFETCH(bool, programInFront);
    NUVOK_XWAYLAND_ON_SWAY(xwayland);
    const QString title = QStringLiteral("Stand-in Player");
    qputenv("DISPLAY", xwayland.toLocal8Bit());
    KeyWindow player(title);
    qunsetenv("DISPLAY");
    QVERIFY2(player.waitReady(), qPrintable(player.errorOutput()));
    const QString notFocused = focusedOnSway(player.processId(), title);
    QVERIFY2(notFocused.isEmpty(), qPrintable(notFocused));

    const quint16 port = freePort();
    Program program(QStringLiteral("[Settings]\nVideoTitle=%1\n").arg(title),
                    QStringLiteral("wayland"));
    program.setEnvironment(QStringLiteral("DISPLAY"), xwayland);
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    if (programInFront) {
        QVERIFY(activateStatusNotifierItem(m_bus, icon(pid)));
        QVERIFY2(waitUntil([&] { return swayWindow(pid).focused; }, kCompositorTimeoutMs),
                 "the program's window shown from its icon did not get the focus");
    }
    qsizetype next = 0;
    const QString refused =
        QStringLiteral(
            "Cannot bring the window \"%1\" to the front: the Wayland compositor did not give it "
            "the "
            "focus (on Wayland a program may not bring another program's window to the front)")
            .arg(title);
    const QStringList expected =
        programInFront ? QStringList{QStringLiteral("mode_Video"), refused, refused}
                       : QStringList{QStringLiteral("mode_Video"), QStringLiteral("[Space] Pause")};
    const KeyRun run = pressAndRead(
        program, port, {QStringLiteral("menu"), QStringLiteral("right"), QStringLiteral("5")},
        expected, next);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    if (programInFront) {
        QVERIFY(swayWindow(player.processId(), title).urgent);
        QVERIFY(swayWindow(pid).focused);
        QVERIFY(player.keys().isEmpty());
    } else {
        QVERIFY(player.waitForKeys(1));
        QCOMPARE(player.keys(), QStringList{QStringLiteral("space")});
    }
}

// Started with the session before the panel, the program finds no area: the
// window stays open. The panel that comes later takes the icon; the window
// stays where it is, and from then on a click on the icon puts it away and
// the next one shows it again.
void WaylandDesktopTest::aPanelThatStartsLaterTakesTheIcon() {
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    QString failure = stopPanel();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    QVERIFY2(program.waitForLine(kNoAreaLine), qPrintable(program.lines().join(QLatin1Char('\n'))));
    QVERIFY(shownOnSway(pid));

    failure = startPanel();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), qPrintable(QStringLiteral("no icon in the late panel's tray\n") +
                                      program.lines().join(QLatin1Char('\n'))));
    QVERIFY(program.waitForLine(kAreaFoundLine));
    QTest::qWait(kSteadyMs);
    QVERIFY2(swayWindow(pid).visible, "the window did not stay where it was");
    for (int round = 0; round < 2; ++round) {
        QVERIFY(activateStatusNotifierItem(m_bus, item));
        failure = settlesHidden(pid);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("round %1: ").arg(round) + failure));
        QVERIFY(activateStatusNotifierItem(m_bus, item));
        QVERIFY2(shownOnSway(pid), qPrintable(QStringLiteral("round %1: not shown").arg(round)));
    }
}

// The panel's tray goes with the panel; a window hidden in it must not be
// lost with it. The panel that comes back takes the icon again.
void WaylandDesktopTest::aPanelThatQuitsGivesTheWindowBackAndTakesItAgainOnItsReturn() {
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("wayland"));
    QVERIFY(start(program, {QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const qint64 pid = program.process().processId();
    QVERIFY(icon(pid).valid());
    QVERIFY(settlesHidden(pid).isEmpty());
    QString failure = stopPanel();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY2(shownOnSway(pid), qPrintable(program.lines().join(QLatin1Char('\n'))));
    QVERIFY(program.waitForLine(
        QStringLiteral("The notification area went away: the window is back on the desktop")));

    failure = startPanel();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const StatusNotifierItemRef item = icon(pid);
    QVERIFY2(item.valid(), "the icon did not come back with the panel");
    QVERIFY(program.waitForLine(kAreaFoundLine));
    QVERIFY(swayWindow(pid).visible);
    QVERIFY(activateStatusNotifierItem(m_bus, item));
    failure = settlesHidden(pid);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(activateStatusNotifierItem(m_bus, item));
    QVERIFY(shownOnSway(pid));
}

QTEST_GUILESS_MAIN(WaylandDesktopTest)
#include "test_wayland.moc"
