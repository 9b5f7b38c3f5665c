// The bubbles over the session bus, against a stand-in notification service
// on a bus of the test's own: what one call carries, and how a missing,
// refusing or hung service is told.

#include "shell/notificationservice.h"
#include "support/eventwait.h"
#include "support/missing.h"
#include "support/notificationstandin.h"
#include "support/statusnotifier.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTest>

using nuvok::test::NotificationStandIn;
using nuvok::test::PrivateSessionBus;
using nuvok::test::waitUntil;

namespace {

// What became of one bubble: the number, or why not.
struct Result {
    std::optional<quint32> id;
    QString failure;
    qint64 notifyMs = 0; // how long notify() itself took
};

Result send(NotificationService& service, const Bubble& bubble) {
    Result result;
    QObject context;
    QObject::connect(&service, &NotificationService::shown, &context,
                     [&](quint32 id) { result.id = id; });
    QObject::connect(&service, &NotificationService::failed, &context,
                     [&](const QString& why) { result.failure = why; });
    QElapsedTimer clock;
    clock.start();
    service.notify(bubble);
    result.notifyMs = clock.elapsed();
    waitUntil([&] { return result.id || !result.failure.isEmpty(); }, 5000);
    return result;
}

Bubble status(int value, quint32 replaces = 0) {
    Bubble bubble;
    bubble.summary = QStringLiteral("Volume %1 %").arg(value);
    bubble.value = value;
    bubble.replacesId = replaces;
    return bubble;
}

} // namespace

class NotificationServiceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void aStatusIsOneCallThatStaysOutOfTheHistory();
    void aFailureHasAStackOfItsOwn();
    void troubleIsAReasonNotAWait_data();
    void troubleIsAReasonNotAWait();

private:
    std::unique_ptr<PrivateSessionBus> m_bus;
    std::unique_ptr<NotificationService> m_service;
};

void NotificationServiceTest::initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        NUVOK_SKIP_MISSING(QStringLiteral("needs dbus-daemon"));
    m_bus = std::make_unique<PrivateSessionBus>();
    QVERIFY2(!m_bus->address().isEmpty(), "dbus-daemon did not start");
    // The program's side uses the session bus: this one, from its first use on.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().toUtf8());
    m_service = createNotificationService(nullptr);
}

void NotificationServiceTest::aStatusIsOneCallThatStaysOutOfTheHistory() {
    NotificationStandIn standIn(m_bus->connection());
    QVERIFY(standIn.registered());
    const Result first = send(*m_service, status(37));
    QCOMPARE(first.id, std::optional<quint32>(1));
    const Result second = send(*m_service, status(43, *first.id));
    QCOMPARE(second.id, first.id);
    QCOMPARE(standIn.calls().size(), 2);
    const NotificationStandIn::Call& call = standIn.calls().last();
    QCOMPARE(call.appName, QStringLiteral("NUVOKrc"));
    QCOMPARE(call.replacesId, 1u);
    QCOMPARE(call.summary, QStringLiteral("Volume 43 %"));
    QCOMPARE(call.timeoutMs, 1500);
    const QVariantMap expected{
        {"value", 43},
        {"transient", true},
        {"x-canonical-private-synchronous", QStringLiteral("nuvokrc")},
        {"x-dunst-stack-tag", QStringLiteral("nuvokrc")},
        {"desktop-entry", QStringLiteral("nuvokrc")},
        {"urgency", QVariant::fromValue(uchar(0))},
    };
    QCOMPARE(call.hints, expected);
}

void NotificationServiceTest::aFailureHasAStackOfItsOwn() {
    NotificationStandIn standIn(m_bus->connection());
    QVERIFY(standIn.registered());
    Bubble failure;
    failure.kind = Bubble::Kind::Failure;
    failure.summary = QStringLiteral("NUVOKrc");
    failure.body = QStringLiteral("Vol+ not done: the sound server does not answer");
    failure.timeoutMs = 8000;
    QVERIFY(send(*m_service, failure).id);
    const NotificationStandIn::Call& call = standIn.calls().last();
    QCOMPARE(call.body, failure.body);
    QCOMPARE(call.timeoutMs, 8000);
    QCOMPARE(call.hints.value("x-dunst-stack-tag").toString(), QStringLiteral("nuvokrc-failure"));
    QVERIFY(!call.hints.contains("transient"));
    QVERIFY(!call.hints.contains("x-canonical-private-synchronous"));
    QCOMPARE(call.hints.value("urgency").value<uchar>(), uchar(1));
}

void NotificationServiceTest::troubleIsAReasonNotAWait_data() {
    QTest::addColumn<int>("answer"); // -1: no service on the bus
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("atLeastMs");
    QTest::newRow("no service") << -1 << "the desktop has no notification service" << 0;
    QTest::newRow("refused") << int(NotificationStandIn::Answer::Refuse)
                             << "the notification service refused it (bubbles are not wanted)" << 0;
    QTest::newRow("hung") << int(NotificationStandIn::Answer::Hang)
                          << "the notification service did not answer within 1 s" << 900;
}

void NotificationServiceTest::troubleIsAReasonNotAWait() {
    QFETCH(int, answer);
    QFETCH(QString, reason);
    QFETCH(int, atLeastMs);
    std::unique_ptr<NotificationStandIn> standIn;
    if (answer >= 0) {
        standIn = std::make_unique<NotificationStandIn>(m_bus->connection());
        QVERIFY(standIn->registered());
        standIn->setAnswer(NotificationStandIn::Answer(answer));
    }
    QElapsedTimer clock;
    clock.start();
    const Result result = send(*m_service, status(50));
    QCOMPARE(result.failure, reason);
    QVERIFY(!result.id);
    QVERIFY2(result.notifyMs < 100, qPrintable(QString::number(result.notifyMs)));
    QVERIFY(clock.elapsed() >= atLeastMs);
}

QTEST_GUILESS_MAIN(NotificationServiceTest)
#include "test_notificationservice.moc"
