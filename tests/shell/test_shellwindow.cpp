#include "app/f_nuvokrc.h"
#include "app/icons.h"
#include "app/traystuff.h"
#include "shell/autostartentry.h"
#include "shell/systemtrayarea.h"
#include "support/fakesessionstart.h"
#include "support/faketrayarea.h"
#include "support/iconpicture.h"
#include "support/windowcontrols.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTest>

using nuvok::test::FakeSessionStart;
using nuvok::test::FakeTrayArea;
using nuvok::test::pictureOf;
using Click = TrayArea::Click;

Q_DECLARE_METATYPE(TrayArea::Click)

// The window's start-with-session entry and its notification-area icon, with
// both back-ends faked (and the real autostart file in a private folder).
class ShellWindowTest : public QObject {
    Q_OBJECT

private slots:
    void togglingTwiceWritesThenDeletes();
    void refusedChangesLeaveTheStoredMark_data();
    void refusedChangesLeaveTheStoredMark();
    void withoutAnEntryOnThisSystemTheMarkStaysOff();
    void autostartFileStartsTheProgramMinimised();

    void iconShowsTheWindowIcon();
    void clicksOnTheIcon_data();
    void clicksOnTheIcon();
    void leftClickActivatesTheWindow();
    void minimisingHidesIntoTheIcon_data();
    void minimisingHidesIntoTheIcon();
    void restoringAHiddenWindowShowsIt();
    void withoutANotificationAreaMinimisingStaysInTheTaskbar();
    void aVanishedNotificationAreaKeepsTheWindowReachable();
    void aNotificationAreaThatAppearsLaterTakesTheWindow();
    void aVanishingAreaGivesTheHiddenWindowBack_data();
    void aVanishingAreaGivesTheHiddenWindowBack();
    void withoutMinimiseReportsAClickTogglesTheWindow_data();
    void withoutMinimiseReportsAClickTogglesTheWindow();
    void withoutMinimiseReportsOrAreaTheWindowStaysOpen();
    void onlyIconsChangeTheTrayPicture();
    void removalIsRepeatableAndEndsTheHandling();
    void destroyingTheWindowRemovesTheIcon();
    void eachWindowHasItsOwnIcon();
    void activationReasonsMapToClicks_data();
    void activationReasonsMapToClicks();

private:
    int logLines(const F_NUVOKrc& window) const {
        return int(window.logText().count(QStringLiteral("\r\n")));
    }
    QString lastLogLine(const F_NUVOKrc& window) const {
        return window.logText().split(QStringLiteral("\r\n")).last();
    }
};

namespace {

struct Shell {
    std::shared_ptr<FakeSessionStart> start = std::make_shared<FakeSessionStart>();
    std::shared_ptr<FakeTrayArea> tray = std::make_shared<FakeTrayArea>();
    WindowServices services() const {
        WindowServices s;
        s.sessionStart = start;
        s.trayArea = tray;
        return s;
    }
};

bool minimised(const QWidget& w) {
    return w.windowState() & Qt::WindowMinimized;
}

} // namespace

// ---- Start with the session ------------------------------------------------

void ShellWindowTest::togglingTwiceWritesThenDeletes() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    const int lines = logLines(window);
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QCOMPARE(shell.start->requests, std::vector<bool>({true}));
    QVERIFY(shell.start->stored);
    QVERIFY(nuvok::test::control<QAction>(window, "m_add2reg")->isChecked());
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QCOMPARE(shell.start->requests, std::vector<bool>({true, false}));
    QVERIFY(!shell.start->stored);
    QVERIFY(!nuvok::test::control<QAction>(window, "m_add2reg")->isChecked());
    QCOMPARE(logLines(window), lines);
}

void ShellWindowTest::refusedChangesLeaveTheStoredMark_data() {
    QTest::addColumn<bool>("storedBefore");
    QTest::addColumn<QString>("refusal"); // empty: refused without a reason
    QTest::addColumn<QString>("line");
    QTest::newRow("on, refused silently")
        << false << ""
        << "Start on Power up is still off: the start entry could not be stored";
    QTest::newRow("on, refused with a reason")
        << false << "Access is denied"
        << "Start on Power up is still off: Access is denied";
    QTest::newRow("off, refused silently")
        << true << ""
        << "Start on Power up is still on: the start entry could not be removed";
    QTest::newRow("off, refused with a reason")
        << true << "Read-only file system"
        << "Start on Power up is still on: Read-only file system";
}

void ShellWindowTest::refusedChangesLeaveTheStoredMark() {
    QFETCH(bool, storedBefore);
    QFETCH(QString, refusal);
    QFETCH(QString, line);
    Shell shell;
    shell.start->stored = storedBefore;
    shell.start->refuseSilently = refusal.isEmpty();
    shell.start->refusal = refusal.toStdString();
    F_NUVOKrc window(shell.services());
    nuvok::test::control<QAction>(window, "m_add2reg")->setChecked(storedBefore);
    const int lines = logLines(window);
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QCOMPARE(shell.start->requests, std::vector<bool>({!storedBefore}));
    QCOMPARE(nuvok::test::control<QAction>(window, "m_add2reg")->isChecked(), storedBefore);
    QCOMPARE(logLines(window), lines + 1);
    QCOMPARE(lastLogLine(window), line);
}

// Whether an entry is stored shows as the menu mark after start-up (the
// start-up tests); here, a system that has no such entry at all.
void ShellWindowTest::withoutAnEntryOnThisSystemTheMarkStaysOff() {
    Shell shell;
    WindowServices services = shell.services();
    services.sessionStart.reset();
    F_NUVOKrc window(services);
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QVERIFY(!nuvok::test::control<QAction>(window, "m_add2reg")->isChecked());
    QVERIFY(lastLogLine(window).startsWith(QStringLiteral("Start on Power up is still off: ")));
}

void ShellWindowTest::autostartFileStartsTheProgramMinimised() {
    const QString entryFile =
        qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/nuvokrc.desktop");
    QFile::remove(entryFile);
    WindowServices services;
    services.sessionStart = nuvok::makeSessionStart("/opt/NUVOK Remote/nuvokrc");
    services.trayArea = std::make_shared<FakeTrayArea>();
    F_NUVOKrc window(services);
    QVERIFY(!services.sessionStart->isEnabled());
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QVERIFY(nuvok::test::control<QAction>(window, "m_add2reg")->isChecked());
    QFile file(entryFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    file.close();
    QVERIFY2(text.contains("\nExec=\"/opt/NUVOK Remote/nuvokrc\" -min\n"), text.constData());
    QVERIFY(services.sessionStart->isEnabled());
    nuvok::test::control<QAction>(window, "m_add2reg")->trigger();
    QVERIFY(!nuvok::test::control<QAction>(window, "m_add2reg")->isChecked());
    QVERIFY(!QFile::exists(entryFile));
}

// ---- Notification area -----------------------------------------------------

void ShellWindowTest::iconShowsTheWindowIcon() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    const int lines = logLines(window);
    window.tray().addTrayIcon();
    QVERIFY(shell.tray->shown);
    QCOMPARE(shell.tray->icon.cacheKey(), window.windowIcon().cacheKey());
    QCOMPARE(pictureOf(shell.tray->icon), pictureOf(icons::idle()));
    QVERIFY(pictureOf(shell.tray->icon) != pictureOf(icons::busy()));
    QVERIFY(window.tray().hidesToTray());
    QCOMPARE(logLines(window), lines);
}

void ShellWindowTest::clicksOnTheIcon_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<Click>("click");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("state");
    const int normal = Qt::WindowNoState;
    const int min = Qt::WindowMinimized;
    const int max = Qt::WindowMaximized;
    QTest::newRow("left on hidden after start-up") << "hidden min" << Click::Left << true << normal;
    QTest::newRow("right on hidden after start-up")
        << "hidden min" << Click::Right << true << normal;
    QTest::newRow("other on hidden") << "hidden min" << Click::Other << false << min;
    QTest::newRow("left on hidden normal") << "hidden normal" << Click::Left << true << normal;
    QTest::newRow("right on hidden normal") << "hidden normal" << Click::Right << true << normal;
    QTest::newRow("left on shown") << "shown normal" << Click::Left << true << normal;
    QTest::newRow("right on shown") << "shown normal" << Click::Right << true << normal;
    QTest::newRow("left on maximised") << "shown max" << Click::Left << true << normal;
    QTest::newRow("right keeps maximised") << "shown max" << Click::Right << true << max;
    QTest::newRow("right on minimised") << "shown min" << Click::Right << true << normal;
    QTest::newRow("left on minimised") << "shown min" << Click::Left << true << normal;
    QTest::newRow("other on minimised") << "shown min" << Click::Other << true << min;
}

void ShellWindowTest::clicksOnTheIcon() {
    QFETCH(QString, before);
    QFETCH(Click, click);
    QFETCH(bool, visible);
    QFETCH(int, state);
    Shell shell;
    F_NUVOKrc window(shell.services());
    // Prepared before the icon exists, so that nothing is hidden on the way.
    if (before.startsWith(QStringLiteral("shown")))
        window.show();
    if (before.endsWith(QStringLiteral("min")))
        window.setWindowState(Qt::WindowMinimized);
    if (before.endsWith(QStringLiteral("max")))
        window.setWindowState(Qt::WindowMaximized);
    window.tray().addTrayIcon();
    shell.tray->click(click);
    QCOMPARE(window.isVisible(), visible);
    QCOMPARE(int(window.windowState() & ~Qt::WindowActive), state);
    // A second release (the two halves of a double click) changes nothing more.
    shell.tray->click(click);
    QCOMPARE(window.isVisible(), visible);
    QCOMPARE(int(window.windowState() & ~Qt::WindowActive), state);
}

void ShellWindowTest::leftClickActivatesTheWindow() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &other);
    window.tray().addTrayIcon();
    shell.tray->click(Click::Left);
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&window));
}

void ShellWindowTest::minimisingHidesIntoTheIcon_data() {
    QTest::addColumn<int>("state");
    QTest::newRow("normal") << int(Qt::WindowNoState);
    QTest::newRow("maximised") << int(Qt::WindowMaximized);
}

void ShellWindowTest::minimisingHidesIntoTheIcon() {
    QFETCH(int, state);
    Shell shell;
    F_NUVOKrc window(shell.services());
    window.setWindowState(Qt::WindowStates(state));
    window.show();
    window.tray().addTrayIcon();
    window.setWindowState(window.windowState() | Qt::WindowMinimized);
    QVERIFY(!window.isVisible());
    QCOMPARE(int(window.tray().windowState()), state);
    shell.tray->click(Click::Right);
    QVERIFY(window.isVisible());
    QCOMPARE(int(window.windowState() & ~Qt::WindowActive), state);
}

void ShellWindowTest::restoringAHiddenWindowShowsIt() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    window.setWindowState(Qt::WindowMinimized);
    window.tray().addTrayIcon();
    QVERIFY(!window.isVisible());
    nuvok::test::runHandler(window, "rightClick");
    QVERIFY(window.isVisible());
    QVERIFY(!minimised(window));
}

void ShellWindowTest::withoutANotificationAreaMinimisingStaysInTheTaskbar() {
    Shell shell;
    shell.tray->hasArea = false;
    F_NUVOKrc window(shell.services());
    window.show();
    const int lines = logLines(window);
    window.tray().addTrayIcon();
    QVERIFY(!window.tray().hidesToTray());
    QCOMPARE(logLines(window), lines + 1);
    QCOMPARE(lastLogLine(window), QStringLiteral("No notification area found: the window stays in "
                                                 "the taskbar when minimised"));
    for (int round = 0; round < 2; ++round) {
        window.showMinimized();
        QVERIFY(window.isVisible());
        QVERIFY(minimised(window));
        window.showNormal();
    }
    QCOMPARE(logLines(window), lines + 1);
}

void ShellWindowTest::aVanishedNotificationAreaKeepsTheWindowReachable() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    window.show();
    window.tray().addTrayIcon();
    shell.tray->hasArea = false;
    QVERIFY(!window.tray().hidesToTray());
    window.showMinimized();
    QVERIFY(window.isVisible());
    QVERIFY(minimised(window));
}

void ShellWindowTest::aNotificationAreaThatAppearsLaterTakesTheWindow() {
    Shell shell;
    shell.tray->hasArea = false;
    F_NUVOKrc window(shell.services());
    window.show();
    window.setWindowState(Qt::WindowMinimized); // on the taskbar, as after such a start
    window.tray().addTrayIcon();
    QVERIFY(shell.tray->shown); // docks once there is an area
    const int lines = logLines(window);
    shell.tray->setAvailable(true);
    QVERIFY(!window.isVisible());
    QCOMPARE(logLines(window), lines + 1);
    shell.tray->click(Click::Right);
    QVERIFY(window.isVisible());
    QVERIFY(!minimised(window));
    // Looked at anew when the user minimises, whether or not anyone said so.
    shell.tray->hasArea = false;
    window.showMinimized();
    QVERIFY(window.isVisible());
    window.showNormal();
    shell.tray->hasArea = true;
    window.setWindowState(Qt::WindowMinimized);
    QVERIFY(!window.isVisible());
}

void ShellWindowTest::aVanishingAreaGivesTheHiddenWindowBack_data() {
    QTest::addColumn<bool>("minimiseReported");
    QTest::newRow("minimised on the taskbar") << true;
    QTest::newRow("shown, as on Wayland") << false;
}

void ShellWindowTest::aVanishingAreaGivesTheHiddenWindowBack() {
    QFETCH(bool, minimiseReported);
    Shell shell;
    shell.tray->reportsMinimise = minimiseReported;
    F_NUVOKrc window(shell.services());
    window.setWindowState(Qt::WindowMinimized); // as after start-up
    window.tray().addTrayIcon();
    window.tray().putAway(Qt::WindowMinimized);
    QVERIFY(!window.isVisible());
    const int lines = logLines(window);
    shell.tray->setAvailable(false);
    QVERIFY(window.isVisible());
    QCOMPARE(minimised(window), minimiseReported);
    QCOMPARE(logLines(window), lines + 1);
    QCOMPARE(lastLogLine(window),
             QStringLiteral("The notification area went away: the window is back on the desktop"));
    // A shown window stays as it is when the area goes and comes again.
    window.showNormal();
    shell.tray->setAvailable(true);
    shell.tray->setAvailable(false);
    QVERIFY(window.isVisible());
    QVERIFY(!minimised(window));
}

void ShellWindowTest::withoutMinimiseReportsAClickTogglesTheWindow_data() {
    QTest::addColumn<Click>("click");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("left") << Click::Left << true;
    QTest::newRow("right") << Click::Right << true;
    QTest::newRow("other") << Click::Other << false;
}

void ShellWindowTest::withoutMinimiseReportsAClickTogglesTheWindow() {
    QFETCH(Click, click);
    QFETCH(bool, toggles);
    Shell shell;
    shell.tray->reportsMinimise = false;
    F_NUVOKrc window(shell.services());
    window.setWindowState(Qt::WindowMinimized);
    window.tray().addTrayIcon();
    window.tray().putAway(Qt::WindowMinimized);
    QVERIFY(!window.isVisible());
    for (int round = 0; round < 2; ++round) {
        shell.tray->click(click);
        QCOMPARE(window.isVisible(), toggles);
        if (!toggles)
            return;
        QVERIFY(!minimised(window));
        shell.tray->click(click);
        QVERIFY(!window.isVisible());
        QCOMPARE(int(window.tray().windowState()), int(Qt::WindowNoState));
    }
    // Without an area a click never hides the window: nothing could bring it back.
    shell.tray->click(click);
    shell.tray->hasArea = false;
    shell.tray->click(click);
    QVERIFY(window.isVisible());
}

void ShellWindowTest::withoutMinimiseReportsOrAreaTheWindowStaysOpen() {
    Shell shell;
    shell.tray->reportsMinimise = false;
    shell.tray->hasArea = false;
    F_NUVOKrc window(shell.services());
    window.show();
    const int lines = logLines(window);
    window.tray().addTrayIcon();
    QCOMPARE(logLines(window), lines + 1);
    QCOMPARE(lastLogLine(window),
             QStringLiteral("No notification area found: the window stays open, as this Wayland "
                            "desktop may not give a minimised window back"));
    window.tray().putAway(Qt::WindowMinimized);
    QVERIFY(window.isVisible());
    QVERIFY(!minimised(window));
    // An area that appears later takes the window at the next click.
    shell.tray->setAvailable(true);
    QVERIFY(window.isVisible());
    QCOMPARE(lastLogLine(window),
             QStringLiteral("Notification area found: a click on the icon puts the window away "
                            "there"));
    shell.tray->click(Click::Left);
    QVERIFY(!window.isVisible());
}

void ShellWindowTest::onlyIconsChangeTheTrayPicture() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    const QIcon busy = icons::busy();
    const QIcon idle = icons::idle();
    window.tray().setTrayIcon(busy); // no icon yet: nothing to change
    QCOMPARE(shell.tray->iconChanges, 0);
    window.tray().addTrayIcon();
    window.tray().setTrayIcon(busy);
    QCOMPARE(shell.tray->icon.cacheKey(), busy.cacheKey());
    window.tray().setTrayIcon(QIcon());
    QCOMPARE(shell.tray->icon.cacheKey(), busy.cacheKey());
    QCOMPARE(shell.tray->iconChanges, 1);
    window.tray().setTrayIcon(idle);
    QCOMPARE(shell.tray->icon.cacheKey(), idle.cacheKey());
}

void ShellWindowTest::removalIsRepeatableAndEndsTheHandling() {
    Shell shell;
    F_NUVOKrc window(shell.services());
    window.show();
    window.tray().addTrayIcon();
    window.tray().removeTrayIcon();
    QVERIFY(!shell.tray->shown);
    window.tray().removeTrayIcon();
    QCOMPARE(shell.tray->removals, 1);
    QVERIFY(!window.tray().hidesToTray());
    // Minimising is an ordinary minimise again.
    window.showMinimized();
    QVERIFY(window.isVisible());
    QVERIFY(minimised(window));
    window.tray().trayClicked(Click::Left);
    QVERIFY(minimised(window));
}

void ShellWindowTest::destroyingTheWindowRemovesTheIcon() {
    Shell shell;
    auto* window = new F_NUVOKrc(shell.services());
    window->tray().addTrayIcon();
    QVERIFY(shell.tray->shown);
    delete window;
    QVERIFY(!shell.tray->shown);
    // Nothing of the window is left for a click or a panel change to reach.
    QVERIFY(!shell.tray->handler);
    QVERIFY(!shell.tray->availabilityHandler);
    shell.tray->click(Click::Left);
    shell.tray->setAvailable(false);
    QCOMPARE(shell.tray->iconChanges, 0);
}

// Nothing is shared between windows: each one's icon leads to it alone.
void ShellWindowTest::eachWindowHasItsOwnIcon() {
    Shell first;
    Shell second;
    F_NUVOKrc one(first.services());
    F_NUVOKrc two(second.services());
    one.tray().addTrayIcon();
    two.tray().addTrayIcon();
    QVERIFY(first.tray->shown);
    QVERIFY(second.tray->shown);
    second.tray->click(Click::Left);
    QVERIFY(two.isVisible());
    QVERIFY(!one.isVisible());
    two.tray().removeTrayIcon();
    QVERIFY(first.tray->shown);
    QVERIFY(one.tray().hidesToTray());
    QVERIFY(!two.tray().hidesToTray());
    first.tray->click(Click::Left);
    QVERIFY(one.isVisible());
}

void ShellWindowTest::activationReasonsMapToClicks_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<Click>("click");
    QTest::newRow("left") << int(QSystemTrayIcon::Trigger) << Click::Left;
    QTest::newRow("right") << int(QSystemTrayIcon::Context) << Click::Right;
    QTest::newRow("double") << int(QSystemTrayIcon::DoubleClick) << Click::Other;
    QTest::newRow("middle") << int(QSystemTrayIcon::MiddleClick) << Click::Other;
    QTest::newRow("unknown") << int(QSystemTrayIcon::Unknown) << Click::Other;
}

void ShellWindowTest::activationReasonsMapToClicks() {
    QFETCH(int, reason);
    QFETCH(Click, click);
    QCOMPARE(SystemTrayArea::clickOf(QSystemTrayIcon::ActivationReason(reason)), click);
}

QTEST_MAIN(ShellWindowTest)
#include "test_shellwindow.moc"
