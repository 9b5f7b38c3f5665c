// Bubbles as the message at the program's icon (the Windows way): what the
// message says, and the one answer per bubble, which comes from the event
// loop, never from inside notify().

#include "shell/traymessagenotifications.h"
#include "support/faketrayarea.h"

#include <QSignalSpy>
#include <QTest>

using nuvok::test::FakeTrayArea;

namespace {

enum class Area { ShowsMessages, NoIcon, NoMessages, None };

} // namespace

Q_DECLARE_METATYPE(Area)

class TrayMessageNotificationsTest : public QObject {
    Q_OBJECT

private slots:
    void eachBubbleIsAnsweredOnceFromTheEventLoop_data();
    void eachBubbleIsAnsweredOnceFromTheEventLoop();
};

void TrayMessageNotificationsTest::eachBubbleIsAnsweredOnceFromTheEventLoop_data() {
    QTest::addColumn<Area>("area");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("text"); // the message shown; empty: none, the bubble fails
    const int status = int(Bubble::Kind::Status);
    const int failure = int(Bubble::Kind::Failure);
    const QString volume = QStringLiteral("Volume 40 %");
    const QString refused = QStringLiteral("Cannot reach the controller: connection refused");
    QTest::newRow("status shows its summary")
        << Area::ShowsMessages << status << volume << QString() << volume;
    QTest::newRow("failure shows its text")
        << Area::ShowsMessages << failure << QStringLiteral("NUVOKrc") << refused << refused;
    QTest::newRow("no icon shown") << Area::NoIcon << status << volume << QString() << QString();
    QTest::newRow("no messages at the icon")
        << Area::NoMessages << failure << QStringLiteral("NUVOKrc") << refused << QString();
    QTest::newRow("no area at all") << Area::None << status << volume << QString() << QString();
}

void TrayMessageNotificationsTest::eachBubbleIsAnsweredOnceFromTheEventLoop() {
    QFETCH(Area, area);
    QFETCH(int, kind);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(QString, text);
    auto tray = std::make_shared<FakeTrayArea>();
    tray->shown = area != Area::NoIcon;
    tray->showsMessages = area != Area::NoMessages;
    TrayMessageNotifications service(area == Area::None ? nullptr : tray);
    QSignalSpy shown(&service, &NotificationService::shown);
    QSignalSpy failed(&service, &NotificationService::failed);

    Bubble bubble;
    bubble.kind = Bubble::Kind(kind);
    bubble.summary = summary;
    bubble.body = body;
    bubble.timeoutMs = 1234;
    // Twice: a second bubble gets its own answer, as each call does.
    for (int round = 1; round <= 2; ++round) {
        service.notify(bubble);
        QCOMPARE(shown.size() + failed.size(), round - 1);
        QCoreApplication::processEvents();
        QCOMPARE(shown.size() + failed.size(), round);
    }
    QCoreApplication::processEvents();
    QCOMPARE(shown.size() + failed.size(), 2);

    if (text.isEmpty()) {
        QCOMPARE(shown.size(), 0);
        QVERIFY(tray->messages.empty());
        for (const QList<QVariant>& answer : failed)
            QVERIFY(!answer.at(0).toString().trimmed().isEmpty());
        return;
    }
    QCOMPARE(failed.size(), 0);
    QCOMPARE(tray->messages.size(), std::size_t(2));
    for (const FakeTrayArea::Message& message : tray->messages) {
        QCOMPARE(message.title, QStringLiteral("NUVOKrc"));
        QCOMPARE(message.text, text);
        QCOMPARE(message.msecs, 1234);
    }
}

QTEST_GUILESS_MAIN(TrayMessageNotificationsTest)
#include "test_traymessagenotifications.moc"
