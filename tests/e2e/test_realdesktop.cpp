// The real program on a real desktop: a private X server with the window
// manager named by scripts/private-desktop.sh, and a private sound server.
// What the user sees is read back from the X server, not from the toolkit:
// with a notification area the window starts withdrawn (hidden in the icon),
// without one it starts iconic on the taskbar, and it is never shown normally
// until the user asks for it.

#include "e2e/programrun.h"
#include "support/missing.h"
#include "support/statusnotifier.h"
#include "support/x11desktop.h"

#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace nuvok::e2e;
using nuvok::test::DesktopProbe;
using namespace nuvok::test;

namespace {

const QString kProgramTitle = QStringLiteral("NUVOK Remote Control");
// The outer width of the window as it starts, in pixels (4680 twips).
constexpr int kNormalOuterWidth = 312;
// How long a put-away window must stay put away.
constexpr int kSteadyMs = 700;

bool desktopHasTray() {
    return qEnvironmentVariable("NUVOKRC_DESKTOP_TRAY") == QLatin1String("yes");
}

// The program's main window once it exists on the server.
unsigned long mainWindow(const DesktopProbe& probe) {
    unsigned long found = 0;
    waitUntil(
        [&] {
            const auto windows = probe.windowsTitled(kProgramTitle);
            found = windows.empty() ? 0 : windows.front();
            return found != 0;
        },
        kLineTimeoutMs);
    return found;
}

// Withdrawn: no window manager lists or shows it (some leave a stale WM_STATE
// behind, so that alone does not tell).
bool withdrawn(const DesktopProbe::WindowView& seen) {
    return !seen.managed && !seen.viewable;
}
bool iconic(const DesktopProbe::WindowView& seen) {
    return seen.managed && !seen.viewable && seen.wmState == 3;
}
bool shownNormally(const DesktopProbe::WindowView& seen) {
    return seen.managed && seen.viewable && seen.wmState == 1;
}
bool putAway(const DesktopProbe::WindowView& seen) {
    return desktopHasTray() ? withdrawn(seen) : iconic(seen);
}

QString describe(const DesktopProbe::WindowView& seen) {
    return QStringLiteral("managed %1, viewable %2, WM_STATE %3")
        .arg(seen.managed)
        .arg(seen.viewable)
        .arg(seen.wmState);
}

// Notes whether the window was ever viewable while it is watched.
class MapWatch {
public:
    explicit MapWatch(const DesktopProbe& probe) : m_probe(probe) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const auto windows = m_probe.windowsTitled(kProgramTitle);
            for (unsigned long window : windows)
                m_everViewable = m_everViewable || m_probe.view(window).viewable;
        });
        m_timer.start(10);
    }
    bool everViewable() const { return m_everViewable; }

private:
    const DesktopProbe& m_probe;
    QTimer m_timer;
    bool m_everViewable = false;
};

// The program's icon: its small window docked in the notification area, once
// the panel has stopped moving it.
QRect trayIcon(const DesktopProbe& probe) {
    const auto find = [&probe] {
        for (unsigned long window : probe.windowsTitled(QStringLiteral("NUVOKrc"))) {
            const DesktopProbe::WindowView seen = probe.view(window);
            if (seen.viewable && seen.frame.width() <= 48 && seen.frame.height() <= 48)
                return seen.frame;
        }
        return QRect();
    };
    QRect now = find();
    QRect before;
    while (!now.isEmpty() && now != before) {
        before = now;
        QTest::qWait(200);
        now = find();
    }
    return now;
}

// Waits until the window is put away and stays so for a while.
QString settlesPutAway(const DesktopProbe& probe, unsigned long window) {
    if (!waitUntil([&] { return putAway(probe.view(window)); }, kLineTimeoutMs))
        return QStringLiteral("not put away: ") + describe(probe.view(window));
    QTest::qWait(kSteadyMs);
    if (!putAway(probe.view(window)))
        return QStringLiteral("came back: ") + describe(probe.view(window));
    return {};
}

} // namespace

class RealDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyStartPutsTheWindowAway();
    void theIconRestoresAndMinimisingHidesAgain();
    void aTakenPortKeepsTheWindowReachable();
    void aLaterStartShowsTheWindowAndAddsNoIcon();
    void theIconOverTheSessionBusShowsAndMinimisingHides();
    void aPanelThatStartsLaterOrRestartsTakesTheIcon();
    void aPanelOverTheSessionBusThatStartsLaterOrRestartsTakesTheIcon();
    void aPanelThatQuitsGivesTheWindowBackMinimised();

private:
    // Ends the process of the desktop's panel and waits until its
    // notification area is gone; empty when it is, else what went wrong.
    QString stopPanel(qint64 pid);
    // Starts the panel again; its process, or 0 when it did not start.
    qint64 startPanel();
    // The icon docked in the area, clicked until the window shows; the
    // window manager's minimise then hides it there again. Empty when all
    // went so, else what did not.
    QString iconShowsAndMinimisingHides(unsigned long window);

    DesktopProbe m_probe;
};

void RealDesktopTest::initTestCase() {
    QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
}

void RealDesktopTest::everyStartPutsTheWindowAway() {
    for (int start = 0; start < 3; ++start) {
        const MapWatch watch(m_probe);
        const quint16 port = freePort();
        Program program(QString{}, QStringLiteral("xcb"));
        QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
        QVERIFY2(waitForListener(program, port),
                 qPrintable(program.lines().join(QLatin1Char('\n'))));
        const unsigned long window = mainWindow(m_probe);
        QVERIFY(window != 0);
        const QString failure = settlesPutAway(m_probe, window);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("start %1: ").arg(start) + failure));
        // Without a notification area the window manager shows the window
        // for a moment before it minimises it; with one it is never mapped.
        if (desktopHasTray())
            QVERIFY2(!watch.everViewable(), qPrintable(QStringLiteral("start %1").arg(start)));
    }
}

void RealDesktopTest::theIconRestoresAndMinimisingHidesAgain() {
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    QVERIFY(settlesPutAway(m_probe, window).isEmpty());
    for (int round = 0; round < 2; ++round) {
        QRect icon;
        QVERIFY2(waitUntil([&] { return !(icon = trayIcon(m_probe)).isEmpty(); }, kLineTimeoutMs),
                 "no icon in the notification area");
        // A click that lands while the panel still settles the icon is lost,
        // as it would be for a user; a few are allowed.
        const bool shown = waitUntil(
            [&] {
                return click(icon.center()) &&
                       waitUntil([&] { return shownNormally(m_probe.view(window)); }, 3000);
            },
            kLineTimeoutMs);
        QVERIFY2(shown, qPrintable(QStringLiteral("round %1: ").arg(round) +
                                   describe(m_probe.view(window))));
        // Set once the window manager has framed the window; window managers
        // count their borders differently by a pixel or two.
        QVERIFY2(
            waitUntil(
                [&] { return qAbs(m_probe.view(window).frame.width() - kNormalOuterWidth) <= 4; },
                kLineTimeoutMs),
            qPrintable(QStringLiteral("round %1: %2\n")
                           .arg(round)
                           .arg(m_probe.view(window).frame.width()) +
                       program.lines().join(QLatin1Char('\n'))));
        m_probe.minimise(window);
        const QString failure = settlesPutAway(m_probe, window);
        QVERIFY2(failure.isEmpty(), qPrintable(QStringLiteral("round %1: ").arg(round) + failure));
    }
}

void RealDesktopTest::aTakenPortKeepsTheWindowReachable() {
    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    const QString port = QString::number(occupier.localPort());
    Program program(QString{}, QStringLiteral("xcb"));
    QVERIFY(program.start({QStringLiteral("-port"), port}));
    QVERIFY2(waitUntil([&] { return !program.lines().filter(port).isEmpty(); }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    const QString failure = settlesPutAway(m_probe, window);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    if (desktopHasTray())
        QVERIFY(waitUntil([&] { return !trayIcon(m_probe).isEmpty(); }, kLineTimeoutMs));
}

// Later starts are handed to the program that runs: -min and a port leave the
// window put away, a start without arguments shows it; none adds a window or
// an icon.
void RealDesktopTest::aLaterStartShowsTheWindowAndAddsNoIcon() {
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    QVERIFY(settlesPutAway(m_probe, window).isEmpty());
    const quint16 free = freePort();
    const QString failure = laterStartsKeepTheWindow(program, free, QStringLiteral("xcb"), [&] {
        QTest::qWait(kSteadyMs);
        const DesktopProbe::WindowView seen = m_probe.view(window);
        return putAway(seen) ? QString() : describe(seen);
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(waitForListener(program, free));
    const LaterStart shown = startAgain(program, {}, QStringLiteral("xcb"));
    QVERIFY2(shown.exitCode == 0, qPrintable(shown.said));
    QVERIFY2(waitUntil([&] { return shownNormally(m_probe.view(window)); }, kLineTimeoutMs),
             qPrintable(describe(m_probe.view(window))));
    QCOMPARE(m_probe.windowsTitled(kProgramTitle).size(), std::size_t{1});
    if (desktopHasTray()) {
        QVERIFY(!trayIcon(m_probe).isEmpty());
        int icons = 0;
        for (unsigned long each : m_probe.windowsTitled(QStringLiteral("NUVOKrc")))
            icons += m_probe.view(each).viewable ? 1 : 0;
        QCOMPARE(icons, 1);
    }
}

// Panels such as KDE Plasma's host icons over the session bus rather than in
// an X11 notification area; with a watcher on the bus the program's icon goes
// there, whatever the window manager.
void RealDesktopTest::theIconOverTheSessionBusShowsAndMinimisingHides() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs dbus-daemon"));
    PrivateSessionBus bus;
    QVERIFY2(!bus.address().isEmpty(), "dbus-daemon did not start");
    StatusNotifierWatcher watcher(bus.connection());
    QVERIFY(watcher.registered());
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    program.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    const auto settlesWithdrawn = [&] {
        return waitUntil([&] { return withdrawn(m_probe.view(window)); }, kLineTimeoutMs) &&
               (QTest::qWait(kSteadyMs), withdrawn(m_probe.view(window)));
    };
    QVERIFY2(settlesWithdrawn(), qPrintable(describe(m_probe.view(window))));
    StatusNotifierItemRef item;
    QVERIFY2(waitUntil(
                 [&] {
                     item = findStatusNotifierItem(bus.connection(), program.process().processId());
                     return item.valid();
                 },
                 kLineTimeoutMs),
             "the icon was not registered with the watcher");
    QCOMPARE(statusNotifierProperty(bus.connection(), item, QStringLiteral("Title")).toString(),
             QStringLiteral("NUVOKrc"));
    QCOMPARE(statusNotifierToolTipTitle(bus.connection(), item), QStringLiteral("NUVOKrc"));
    for (int round = 0; round < 2; ++round) {
        QVERIFY(activateStatusNotifierItem(bus.connection(), item));
        QVERIFY2(
            waitUntil([&] { return shownNormally(m_probe.view(window)); }, kLineTimeoutMs),
            qPrintable(QStringLiteral("round %1: ").arg(round) + describe(m_probe.view(window))));
        // A window manager still framing or activating the window may not
        // minimise it yet, or restore it again for the late activation.
        QVERIFY(waitUntil(
            [&] { return qAbs(m_probe.view(window).frame.width() - kNormalOuterWidth) <= 4; },
            kLineTimeoutMs));
        QVERIFY(m_probe.waitForActive(window));
        // A minimise that the window manager undoes for a late activation
        // (openbox on a loaded machine) is asked for again, as a user would.
        QVERIFY(waitUntil(
            [&] {
                m_probe.minimise(window);
                return waitUntil([&] { return withdrawn(m_probe.view(window)); }, 2000);
            },
            kLineTimeoutMs));
        QVERIFY2(settlesWithdrawn(), qPrintable(QStringLiteral("round %1: ").arg(round) +
                                                describe(m_probe.view(window))));
    }
}

QString RealDesktopTest::stopPanel(qint64 pid) {
    if (pid <= 0 || QProcess::execute(QStringLiteral("kill"), {QString::number(pid)}) != 0)
        return QStringLiteral("the panel (%1) could not be ended").arg(pid);
    if (!waitUntil([&] { return !m_probe.notificationAreaThere(); }, kLineTimeoutMs))
        return QStringLiteral("the notification area stayed");
    return {};
}

qint64 RealDesktopTest::startPanel() {
    qint64 pid = 0;
    // Ended with the desktop's X server, as the one it replaces.
    if (!QProcess::startDetached(qEnvironmentVariable("NUVOKRC_DESKTOP_PANEL"), {}, {}, &pid))
        return 0;
    return pid;
}

QString RealDesktopTest::iconShowsAndMinimisingHides(unsigned long window) {
    QRect icon;
    if (!waitUntil([&] { return !(icon = trayIcon(m_probe)).isEmpty(); }, kLineTimeoutMs))
        return QStringLiteral("no icon in the notification area");
    // A click that lands while the panel still settles the icon is lost, as
    // it would be for a user; a few are allowed.
    const bool shown = waitUntil(
        [&] {
            return click(icon.center()) &&
                   waitUntil([&] { return shownNormally(m_probe.view(window)); }, 3000);
        },
        kLineTimeoutMs);
    if (!shown)
        return QStringLiteral("the click did not show the window: ") +
               describe(m_probe.view(window));
    // A minimise that the window manager undoes for a late activation is
    // asked for again, as a user would.
    if (!waitUntil(
            [&] {
                m_probe.minimise(window);
                return waitUntil([&] { return withdrawn(m_probe.view(window)); }, 2000);
            },
            kLineTimeoutMs))
        return QStringLiteral("minimising did not hide the window: ") +
               describe(m_probe.view(window));
    return settlesPutAway(m_probe, window);
}

// Started with the session before the panel (here the window manager, whose
// task bar holds the notification area), the program finds no area; the
// panel that comes later takes the icon, and takes it again after a restart.
void RealDesktopTest::aPanelThatStartsLaterOrRestartsTakesTheIcon() {
    if (!desktopHasTray())
        QSKIP("this desktop has no notification area");
    QString failure = stopPanel(qEnvironmentVariableIntValue("NUVOKRC_DESKTOP_WM_PID"));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    QVERIFY2(program.waitForLine(QStringLiteral(
                 "No notification area found: the window stays in the taskbar when minimised")),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);

    const QString found =
        QStringLiteral("Notification area found: the window hides there when minimised");
    qint64 panel = 0;
    for (int round = 0; round < 2; ++round) {
        const QString context =
            round == 0 ? QStringLiteral("late panel: ") : QStringLiteral("restarted panel: ");
        const qsizetype from = program.lines().size();
        panel = startPanel();
        QVERIFY2(panel != 0, "the panel did not start");
        failure = iconShowsAndMinimisingHides(window);
        QVERIFY2(failure.isEmpty(), qPrintable(context + failure + QLatin1Char('\n') +
                                               program.lines().join(QLatin1Char('\n'))));
        QVERIFY2(program.waitForLine(found, from), qPrintable(context));
        if (round == 0) {
            failure = stopPanel(panel);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            QVERIFY(program.waitForLine(QStringLiteral(
                "The notification area went away: the window is back on the desktop")));
        }
    }
}

// The same with a panel that hosts icons over the session bus, whatever the
// window manager: the window that waited minimised on the taskbar moves into
// the icon, and the panel's click shows it.
void RealDesktopTest::aPanelOverTheSessionBusThatStartsLaterOrRestartsTakesTheIcon() {
    if (desktopHasTray())
        QSKIP("the window manager's own notification area would take the icon");
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs dbus-daemon"));
    PrivateSessionBus bus;
    QVERIFY2(!bus.address().isEmpty(), "dbus-daemon did not start");
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    program.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    QVERIFY2(program.waitForLine(QStringLiteral(
                 "No notification area found: the window stays in the taskbar when minimised")),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    QVERIFY(settlesPutAway(m_probe, window).isEmpty());

    const qint64 pid = program.process().processId();
    for (int round = 0; round < 2; ++round) {
        const QString context =
            round == 0 ? QStringLiteral("late panel: ") : QStringLiteral("restarted panel: ");
        if (round == 1) {
            // The panel ended: the window came back onto the taskbar.
            QVERIFY(program.waitForLine(QStringLiteral(
                "The notification area went away: the window is back on the desktop")));
            const QString failure = settlesPutAway(m_probe, window);
            QVERIFY2(failure.isEmpty(), qPrintable(context + failure));
        }
        const qsizetype from = program.lines().size();
        StatusNotifierWatcher watcher(bus.connection());
        QVERIFY(watcher.registered());
        StatusNotifierItemRef item;
        QVERIFY2(waitUntil(
                     [&] {
                         item = findStatusNotifierItem(bus.connection(), pid);
                         return item.valid();
                     },
                     kLineTimeoutMs),
                 qPrintable(context + QStringLiteral("the icon was not registered\n") +
                            program.lines().join(QLatin1Char('\n'))));
        QVERIFY2(program.waitForLine(QStringLiteral("Notification area found: the window hides "
                                                    "there when minimised"),
                                     from),
                 qPrintable(context));
        QVERIFY2(waitUntil([&] { return withdrawn(m_probe.view(window)); }, kLineTimeoutMs),
                 qPrintable(context + describe(m_probe.view(window))));
        // A click that comes while the program is busy with the panel's arrival
        // may be lost, as a user's click may be: click again, as the user would.
        QVERIFY2(waitUntil(
                     [&] {
                         return activateStatusNotifierItem(bus.connection(), item) &&
                                waitUntil([&] { return shownNormally(m_probe.view(window)); },
                                          3000);
                     },
                     kLineTimeoutMs),
                 qPrintable(context + describe(m_probe.view(window))));
        QVERIFY(m_probe.waitForActive(window));
        QVERIFY(waitUntil(
            [&] {
                m_probe.minimise(window);
                return waitUntil([&] { return withdrawn(m_probe.view(window)); }, 2000);
            },
            kLineTimeoutMs));
    }
}

// A window hidden in the icon must not be lost with the panel: it comes back
// minimised on the taskbar.
void RealDesktopTest::aPanelThatQuitsGivesTheWindowBackMinimised() {
    if (desktopHasTray())
        QSKIP("the window manager's own notification area would take the icon");
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs dbus-daemon"));
    PrivateSessionBus bus;
    QVERIFY2(!bus.address().isEmpty(), "dbus-daemon did not start");
    auto watcher = std::make_unique<StatusNotifierWatcher>(bus.connection());
    QVERIFY(watcher->registered());
    const quint16 port = freePort();
    Program program(QString{}, QStringLiteral("xcb"));
    program.setEnvironment(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    const unsigned long window = mainWindow(m_probe);
    QVERIFY(window != 0);
    QVERIFY2(waitUntil([&] { return withdrawn(m_probe.view(window)); }, kLineTimeoutMs),
             qPrintable(describe(m_probe.view(window))));
    // Used, then minimised into the icon.
    StatusNotifierItemRef item;
    QVERIFY(waitUntil(
        [&] {
            item = findStatusNotifierItem(bus.connection(), program.process().processId());
            return item.valid();
        },
        kLineTimeoutMs));
    QVERIFY(activateStatusNotifierItem(bus.connection(), item));
    QVERIFY(waitUntil([&] { return shownNormally(m_probe.view(window)); }, kLineTimeoutMs));
    QVERIFY(m_probe.waitForActive(window));
    QVERIFY(waitUntil(
        [&] {
            m_probe.minimise(window);
            return waitUntil([&] { return withdrawn(m_probe.view(window)); }, 2000);
        },
        kLineTimeoutMs));
    watcher.reset();
    QVERIFY(program.waitForLine(
        QStringLiteral("The notification area went away: the window is back on the desktop")));
    const QString failure = settlesPutAway(m_probe, window);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(RealDesktopTest)
#include "test_realdesktop.moc"
