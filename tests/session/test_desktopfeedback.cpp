#include "session/desktopfeedback.h"
#include "support/eventwait.h"

#include <QSignalSpy>
#include <QTest>

using nuvok::test::waitUntil;

namespace {

// A service that answers when the test says so.
class ScriptedService : public NotificationService {
public:
    void notify(const Bubble& bubble) override { sent << bubble; }
    void answer(quint32 id) { emit shown(id); }
    void refuse(const QString& reason) { emit failed(reason); }
    QList<Bubble> sent;
};

// The feedback with short gaps, its service and its log.
struct Fixture {
    std::shared_ptr<ScriptedService> service = std::make_shared<ScriptedService>();
    DesktopFeedback feedback{BubblePace{20, 150, 1500, 8000}};
    QStringList log;
    Fixture() {
        feedback.setService(service);
        QObject::connect(&feedback, &DesktopFeedback::logLine,
                         [this](const QString& line) { log << line; });
    }
    bool sentCount(qsizetype count) {
        return waitUntil([&] { return service->sent.size() >= count; }, 2000) &&
               service->sent.size() == count;
    }
};

nuvok::VolumeLevel level(int percent) {
    return {percent, percent <= 0, percent >= 100};
}

} // namespace

class DesktopFeedbackTest : public QObject {
    Q_OBJECT

private slots:
    void levelTexts_data();
    void levelTexts();
    void aBurstEndsInOneBubbleAtItsLastState();
    void failuresReplaceEachOtherAtTheirOwnPace();
    void aServiceInTroubleIsLoggedOncePerSpell();
    void switchedOffNothingIsSentAndNothingWaits();
};

void DesktopFeedbackTest::levelTexts_data() {
    QTest::addColumn<int>("percent");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("between") << 37 << "Volume 37 %" << 37;
    QTest::newRow("top") << 100 << "Volume 100 % (maximum)" << 100;
    QTest::newRow("bottom") << 0 << "Volume 0 % (minimum)" << 0;
    // Raised above the top by another program and stepped down from there.
    QTest::newRow("above the top") << 113 << "Volume 113 % (maximum)" << 100;
}

void DesktopFeedbackTest::levelTexts() {
    QFETCH(int, percent);
    QFETCH(QString, text);
    QFETCH(int, value);
    Fixture fixture;
    fixture.feedback.volumeStepped(level(percent));
    QVERIFY(fixture.sentCount(1));
    const Bubble& sent = fixture.service->sent.front();
    QCOMPARE(sent.summary, text);
    QCOMPARE(sent.value, std::optional<int>(value));
    QCOMPARE(sent.kind, Bubble::Kind::Status);
    QCOMPARE(sent.timeoutMs, 1500);
}

// While one call is out, ten steps and a mode fold into the last state; the
// next call replaces the bubble the first one showed.
void DesktopFeedbackTest::aBurstEndsInOneBubbleAtItsLastState() {
    Fixture fixture;
    for (int percent = 10; percent <= 100; percent += 10)
        fixture.feedback.volumeStepped(level(percent));
    QVERIFY(fixture.sentCount(1));
    QCOMPARE(fixture.service->sent[0].replacesId, 0u);
    fixture.feedback.modeChosen(QStringLiteral("Audio mode"));
    fixture.feedback.volumeStepped(level(93));
    fixture.service->answer(41);
    QVERIFY(fixture.sentCount(2));
    QCOMPARE(fixture.service->sent[1].summary, QStringLiteral("Volume 93 %"));
    QCOMPARE(fixture.service->sent[1].replacesId, 41u);
    fixture.service->answer(41);
    QTest::qWait(60);
    QCOMPARE(fixture.service->sent.size(), 2);
    QVERIFY(fixture.log.isEmpty());
}

// Failures have a bubble of their own, at most one per gap, replaced in
// place; a status meanwhile is not held up by them.
void DesktopFeedbackTest::failuresReplaceEachOtherAtTheirOwnPace() {
    Fixture fixture;
    fixture.feedback.failure(QStringLiteral("first"));
    QVERIFY(fixture.sentCount(1));
    fixture.service->answer(5);
    fixture.feedback.failure(QStringLiteral("second"));
    fixture.feedback.failure(QStringLiteral("third"));
    fixture.feedback.modeChosen(QStringLiteral("Video mode"));
    QVERIFY(fixture.sentCount(2));
    QCOMPARE(fixture.service->sent[1].summary, QStringLiteral("Video mode"));
    fixture.service->answer(6);
    QVERIFY(fixture.sentCount(3));
    const Bubble& failure = fixture.service->sent[2];
    QCOMPARE(failure.kind, Bubble::Kind::Failure);
    QCOMPARE(failure.body, QStringLiteral("third"));
    QCOMPARE(failure.replacesId, 5u);
    QCOMPARE(failure.timeoutMs, 8000);
}

void DesktopFeedbackTest::aServiceInTroubleIsLoggedOncePerSpell() {
    Fixture fixture;
    for (int i = 0; i < 3; ++i) {
        fixture.feedback.volumeStepped(level(50 + i));
        QVERIFY(fixture.sentCount(i + 1));
        fixture.service->refuse(QStringLiteral("no service"));
    }
    QCOMPARE(fixture.log, QStringList{"Notifications are not shown: no service"});
    fixture.feedback.volumeStepped(level(60));
    QVERIFY(fixture.sentCount(4));
    fixture.service->answer(1);
    QCOMPARE(fixture.log.last(), QStringLiteral("Notifications are shown again"));
    QCOMPARE(fixture.log.size(), 2);
}

void DesktopFeedbackTest::switchedOffNothingIsSentAndNothingWaits() {
    Fixture fixture;
    fixture.feedback.volumeStepped(level(40));
    QVERIFY(fixture.sentCount(1));
    fixture.feedback.failure(QStringLiteral("waits"));
    fixture.feedback.setEnabled(false);
    fixture.service->answer(2);
    fixture.feedback.volumeStepped(level(47));
    fixture.feedback.modeChosen(QStringLiteral("Idle"));
    QTest::qWait(200);
    QCOMPARE(fixture.service->sent.size(), 1);
    fixture.feedback.setEnabled(true);
    fixture.feedback.modeChosen(QStringLiteral("Idle"));
    QVERIFY(fixture.sentCount(2));
}

QTEST_GUILESS_MAIN(DesktopFeedbackTest)
#include "test_desktopfeedback.moc"
