#include "shell/systemtrayarea.h"
#include "support/eventwait.h"
#include "support/gate.h"
#include "support/statusnotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QPixmap>
#include <QTest>
#include <QThread>

using namespace nuvok::test;

namespace {

// A look at the area that waited for the watcher would take the bus's own
// time-out, 25 s; an answer from what the watcher last said takes nothing.
constexpr qint64 kPromptMs = 2000;

enum class Step { None, WatcherGoes, WatcherComes, HostGoes, HostComes };

} // namespace

Q_DECLARE_METATYPE(Step)

// The icon over the session bus (this process's own, from dbus-run-session,
// on an X display without a notification area of its own), with the panel's
// watcher on a thread of its own as if in the panel's process: a watcher that
// hangs holds nothing up, a watcher or a host that comes or goes is noticed,
// and a panel that comes after the icon was shown, or comes back, takes it.
class TrayBusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    // First: the toolkit decides where icons go when the first one is made.
    void aLatePanelTakesTheIconAndAgainAfterARestart_data();
    void aLatePanelTakesTheIconAndAgainAfterARestart();
    void aHangingWatcherHoldsNothingUp();
    void comingsAndGoingsAreNoticed_data();
    void comingsAndGoingsAreNoticed();

private:
    // Runs on the watcher's thread and waits until it has.
    void onPanel(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&m_panelContext, work, Qt::BlockingQueuedConnection);
    }
    void take(Step step);
    // The icon of this process as the watcher has it; invalid while it has none.
    StatusNotifierItemRef registeredIcon() {
        return findStatusNotifierItem(QDBusConnection::sessionBus(),
                                      QCoreApplication::applicationPid());
    }
    // The watcher stops answering until the gate opens.
    bool hang() {
        m_gate.shut();
        QMetaObject::invokeMethod(&m_panelContext, [this] { m_gate.pass(); });
        return waitUntil([this] { return m_gate.waiting() == 1; });
    }

    QThread m_panel;
    QObject m_panelContext;
    StatusNotifierWatcher* m_watcher = nullptr;
    Gate m_gate;
};

void TrayBusTest::take(Step step) {
    switch (step) {
    case Step::None:
        return;
    case Step::WatcherGoes:
        onPanel([this] {
            delete m_watcher;
            m_watcher = nullptr;
        });
        return;
    case Step::WatcherComes:
        onPanel([this] {
            m_watcher = new StatusNotifierWatcher(QDBusConnection::connectToBus(
                qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("panel")));
        });
        return;
    case Step::HostGoes:
    case Step::HostComes:
        onPanel([this, step] { m_watcher->setHostRegistered(step == Step::HostComes); });
        return;
    }
}

void TrayBusTest::initTestCase() {
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus");
    m_panelContext.moveToThread(&m_panel);
    m_panel.start();
    take(Step::WatcherComes);
    QVERIFY2(m_watcher->registered(), "the watcher's name is taken: run under dbus-run-session");
}

// Back to a watcher with a host.
void TrayBusTest::cleanup() {
    m_gate.open();
    if (!m_watcher)
        take(Step::WatcherComes);
    take(Step::HostComes);
}

void TrayBusTest::cleanupTestCase() {
    m_gate.open();
    take(Step::WatcherGoes);
    m_panel.quit();
    m_panel.wait();
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
}

void TrayBusTest::aLatePanelTakesTheIconAndAgainAfterARestart_data() {
    QTest::addColumn<Step>("before");
    QTest::addColumn<Step>("change");
    // Panels that own the watcher's name before their host is up (waybar)
    // as well as those that start both at once.
    QTest::newRow("no watcher, then a watcher with a panel")
        << Step::WatcherGoes << Step::WatcherComes;
    QTest::newRow("a watcher without a panel, then its panel") << Step::HostGoes << Step::HostComes;
}

void TrayBusTest::aLatePanelTakesTheIconAndAgainAfterARestart() {
    QFETCH(Step, before);
    QFETCH(Step, change);
    take(before);
    SystemTrayArea area;
    QVERIFY(waitUntil([&] { return !area.available(); }, 3000));
    QPixmap picture(16, 16);
    picture.fill(Qt::darkGreen);
    QList<TrayArea::Click> clicks;
    area.show(QIcon(picture), [&clicks](TrayArea::Click click) { clicks << click; });
    int changes = 0;
    area.watchAvailability([&changes] { ++changes; });
    QVERIFY(!area.available());

    take(change);
    // Within about a second, with room for a loaded machine.
    QVERIFY(waitUntil([&] { return changes == 1; }, 3000));
    QVERIFY(area.available());
    StatusNotifierItemRef item;
    QVERIFY2(waitUntil([&] { return (item = registeredIcon()).valid(); }, 5000),
             "the icon was not registered with the watcher");
    QVERIFY(activateStatusNotifierItem(QDBusConnection::sessionBus(), item));
    QVERIFY(waitUntil([&] { return !clicks.isEmpty(); }));
    QCOMPARE(clicks, QList<TrayArea::Click>{TrayArea::Click::Left});

    // The panel restarts: a new watcher, which knows nothing of the icon.
    take(Step::WatcherGoes);
    QVERIFY(waitUntil([&] { return changes == 2; }, 3000));
    QVERIFY(!area.available());
    take(Step::WatcherComes);
    QVERIFY(waitUntil([&] { return changes == 3; }, 3000));
    QVERIFY(area.available());
    QVERIFY2(waitUntil([&] { return registeredIcon().valid(); }, 5000),
             "the icon was not registered with the new watcher");
    area.remove();
}

void TrayBusTest::aHangingWatcherHoldsNothingUp() {
    SystemTrayArea area;
    // This display has no notification area: the icon goes to the bus.
    QVERIFY(area.available());
    int changes = 0;
    area.watchAvailability([&changes] { ++changes; });
    QVERIFY(hang());

    QElapsedTimer asked;
    asked.start();
    const bool answer = area.available();
    QVERIFY2(asked.elapsed() < kPromptMs, qPrintable(QString::number(asked.elapsed())));
    QVERIFY(answer);
    // Long enough for the watch's look once a second.
    constexpr int kWatchedMs = 1500;
    asked.restart();
    QTest::qWait(kWatchedMs);
    QVERIFY2(asked.elapsed() < kWatchedMs + kPromptMs,
             qPrintable(QString::number(asked.elapsed())));
    QCOMPARE(changes, 0);
}

void TrayBusTest::comingsAndGoingsAreNoticed_data() {
    QTest::addColumn<Step>("before");
    QTest::addColumn<Step>("change");
    QTest::addColumn<bool>("available");
    QTest::newRow("the watcher goes") << Step::None << Step::WatcherGoes << false;
    QTest::newRow("the watcher comes") << Step::WatcherGoes << Step::WatcherComes << true;
    QTest::newRow("the host goes") << Step::None << Step::HostGoes << false;
    QTest::newRow("the host comes") << Step::HostGoes << Step::HostComes << true;
}

void TrayBusTest::comingsAndGoingsAreNoticed() {
    QFETCH(Step, before);
    QFETCH(Step, change);
    QFETCH(bool, available);
    SystemTrayArea area;
    take(before);
    QVERIFY(waitUntil([&] { return area.available() != available; }, 3000));
    int changes = 0;
    area.watchAvailability([&changes] { ++changes; });
    take(change);
    // Within about a second, with room for a loaded machine.
    QVERIFY(waitUntil([&] { return changes == 1; }, 3000));
    QCOMPARE(area.available(), available);
}

QTEST_MAIN(TrayBusTest)
#include "test_tray_bus.moc"
