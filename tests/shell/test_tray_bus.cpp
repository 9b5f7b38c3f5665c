#include "shell/systemtrayarea.h"
#include "support/eventwait.h"
#include "support/gate.h"
#include "support/statusnotifier.h"

#include <QDBusConnection>
#include <QElapsedTimer>
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
// hangs holds nothing up, and a watcher or a host that comes or goes is
// noticed.
class TrayBusTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void aHangingWatcherHoldsNothingUp();
    void comingsAndGoingsAreNoticed_data();
    void comingsAndGoingsAreNoticed();

private:
    // Runs on the watcher's thread and waits until it has.
    void onPanel(const std::function<void()>& work) {
        QMetaObject::invokeMethod(&m_panelContext, work, Qt::BlockingQueuedConnection);
    }
    void take(Step step);
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
