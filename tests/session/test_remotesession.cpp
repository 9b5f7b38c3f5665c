#include "mixer/clsvolume.h"
#include "remote/keymessage.h"
#include "session/remotesession.h"
#include "support/controllerstandin.h"
#include "support/eventwait.h"
#include "support/fakedesktopcontrol.h"
#include "support/fakemixer.h"
#include "support/gate.h"
#include "support/testinput.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using nuvok::test::ControllerStandIn;
using nuvok::test::Gate;
using nuvok::test::TestInput;
using nuvok::test::waitUntil;

namespace {

constexpr int kMenu = nuvok::kKeyMenu, kRight = nuvok::kKeyRight, kUp = nuvok::kKeyUp,
              kDown = nuvok::kKeyDown;

// The fake desktop, held up at the gate before each call, as a player whose
// window never takes the focus or whose bus call never returns.
class HangingDesktop : public nuvok::test::FakeDesktopControl {
public:
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    void activateWindow(const std::string& title) override {
        gate->pass();
        FakeDesktopControl::activateWindow(title);
    }
    void sendKeys(const std::string& keys) override {
        gate->pass();
        FakeDesktopControl::sendKeys(keys);
    }
};

// A mixer whose opening and every read wait at the gate, as a stopped sound
// server.
class HangingMixer : public nuvok::MixerBackend {
public:
    HangingMixer(std::unique_ptr<nuvok::MixerBackend> inner, std::shared_ptr<Gate> gate)
        : m_inner(std::move(inner)), m_gate(std::move(gate)) {}
    bool open() override {
        m_gate->pass();
        return m_inner->open();
    }
    std::optional<std::uint32_t> findLine(std::uint32_t type) override {
        return m_inner->findLine(type);
    }
    std::optional<nuvok::MixerControlInfo> findVolumeControl(std::uint32_t line) override {
        return m_inner->findVolumeControl(line);
    }
    std::optional<std::int32_t> readValue(std::uint32_t control) override {
        m_gate->pass();
        return m_inner->readValue(control);
    }
    bool writeValue(std::uint32_t control, std::int32_t value) override {
        return m_inner->writeValue(control, value);
    }
    void close() override { m_inner->close(); }
    std::string failureText() const override { return m_inner->failureText(); }

private:
    std::unique_ptr<nuvok::MixerBackend> m_inner;
    std::shared_ptr<Gate> m_gate;
};

// A session with both peers on threads of their own, a controller on
// loopback, an input of the test's, and every line it logged.
struct Session {
    std::shared_ptr<HangingDesktop> desktop = std::make_shared<HangingDesktop>();
    std::shared_ptr<Gate> soundGate = std::make_shared<Gate>();
    nuvok::test::FakeMixerDevice device;
    nuvok::test::RecordingNotifier notifier;
    ControllerStandIn controller;
    QStringList lines;
    RemoteSession session;
    TestInput* input = new TestInput; // the session's

    explicit Session(int deadlineMs = 5000) : session(desktop, nullptr, times(deadlineMs)) {
        session.addInput(input);
        device.addLine(nuvok::kComponentSpeakers, 0, 65535, 30000);
        session.setVolume(std::make_shared<clsVolume>(
            std::make_unique<HangingMixer>(device.backend(), soundGate), notifier));
        session.setController(QStringLiteral("127.0.0.1"), controller.port());
        session.strVideoTitle = QStringLiteral("VLC");
        session.strAudioTitle = QStringLiteral("Winamp");
        QObject::connect(&session, &RemoteSession::logLine,
                         [this](const QString& line) { lines += line; });
    }
    ~Session() {
        desktop->gate->open();
        soundGate->open();
    }
    static PeerTimes times(int deadlineMs) {
        PeerTimes times;
        times.soundServerDeadlineMs = deadlineMs;
        times.playersDeadlineMs = deadlineMs;
        times.probeIntervalMs = 50;
        return times;
    }
    void keys(std::initializer_list<int> codes) {
        for (int code : codes)
            input->press(code);
    }
    bool logged(const QString& line, int timeoutMs = 5000) {
        return waitUntil([&] { return lines.contains(line); }, timeoutMs);
    }
};

} // namespace

class RemoteSessionTest : public QObject {
    Q_OBJECT

private slots:
    // While one peer hangs, keys for the other peer and for the controller
    // are carried out as they come, and the hung peer's work follows when
    // it answers, in its own order.
    void aHungPeerHoldsUpNoOtherPeer_data() {
        QTest::addColumn<bool>("playerHangs");
        QTest::newRow("player hangs") << true;
        QTest::newRow("sound server hangs") << false;
    }
    void aHungPeerHoldsUpNoOtherPeer() {
        QFETCH(bool, playerHangs);
        Session s;
        Gate& hung = playerHangs ? *s.desktop->gate : *s.soundGate;
        hung.shut();
        s.keys({kMenu, kRight, '5', '5', kUp, kDown});
        s.keys({'9', '9'}); // the door
        if (playerHangs) {
            QVERIFY(s.logged(QStringLiteral("Vol-")));
            QVERIFY(!s.lines.contains(QStringLiteral("[Space] Pause")));
        } else {
            QVERIFY(s.logged(QStringLiteral("[Space] Pause")));
            QVERIFY(!s.lines.contains(QStringLiteral("Vol+")));
        }
        // The whole door pulse, its off included, while the peer still hangs.
        QVERIFY(s.controller.waitForCommands(2));
        QCOMPARE(s.controller.commands(),
                 (QList<QByteArray>{"setport 1.1\r\n", "setport 1.0\r\n"}));
        QVERIFY(s.lines.contains(QStringLiteral("Open Door")));
        QCOMPARE(hung.waiting(), 1);
        hung.open();
        // The lines come once the work is done: then the calls can be read.
        QVERIFY(waitUntil([&] {
            return s.lines.count(QStringLiteral("[Space] Pause")) == 2 &&
                   s.lines.contains(QStringLiteral("Vol-"));
        }));
        QCOMPARE(s.desktop->calls, (std::vector<std::string>{"activate:VLC", "activate:VLC",
                                                             "keys: ", "activate:VLC", "keys: "}));
        QCOMPARE(s.lines.filter(QStringLiteral("Vol")), (QStringList{"Vol+", "Vol-"}));
    }

    // Opening the mixer at start-up waits on the sound server's queue: keys
    // are handled meanwhile, the volume keys once the mixer is open. The
    // microphone it lacks is said once, by the opening, never by a key.
    void theMixerOpensOffTheEventLoop() {
        // A device of its own, as the session's first mixer keeps the other;
        // it outlives the session, whose mixer holds it.
        nuvok::test::FakeMixerDevice device;
        device.addLine(nuvok::kComponentSpeakers, 0, 65535, 30000);
        device.missingLineText[nuvok::kComponentMicrophone] = "no default input";
        const QString note = QStringLiteral("No microphone volume: no default input");
        Session s;
        s.soundGate->shut();
        QStringList told;
        bool done = false;
        s.session.openVolume(
            [&] { return std::make_unique<HangingMixer>(device.backend(), s.soundGate); },
            [&](const QStringList& messages) {
                told = messages;
                done = true;
            });
        s.keys({'9', kUp});
        QVERIFY(s.logged(QStringLiteral("idle")));
        QVERIFY(!done);
        s.soundGate->open();
        QVERIFY2(s.logged(QStringLiteral("Vol+")), qPrintable(s.lines.join('\n')));
        QVERIFY(waitUntil([&] { return done; }));
        QCOMPARE(told, QStringList{});
        QVERIFY(s.session.volume());
        QCOMPARE(s.lines.count(note), 1);
        s.keys({kUp});
        QVERIFY(waitUntil([&] { return s.lines.count(QStringLiteral("Vol+")) == 2; }));
        QCOMPARE(s.lines.count(note), 1);
    }

    // Past the deadline each key for the hung peer gets one line naming its
    // action; the probe finds the peer again and the next key reaches it.
    void aHungPeerFailsEachKeyOnceUntilItAnswers() {
        Session s(200);
        s.soundGate->shut();
        s.keys({kUp, kDown, kUp});
        QVERIFY(s.logged(
            QStringLiteral("Vol+ not done: the sound server did not answer within 0.2 s")));
        QVERIFY(s.logged(QStringLiteral("Vol- not done: the sound server does not answer")));
        QVERIFY(s.logged(QStringLiteral("Vol+ not done: the sound server does not answer")));
        // Still hung: the key asks the server, and fails after a moment.
        s.keys({kDown});
        QVERIFY(waitUntil([&] { return s.lines.filter(QStringLiteral("not done")).size() == 4; }));
        s.soundGate->open();
        QVERIFY(s.logged(QStringLiteral("the sound server answers again")));
        const int level = s.device.level(nuvok::kComponentSpeakers);
        s.keys({kUp});
        QVERIFY(s.logged(QStringLiteral("Vol+")));
        QVERIFY(s.device.level(nuvok::kComponentSpeakers) > level);
    }

    // The keys of every input meet in one interpreter, in the order they
    // come, but the door's "9 9" is one sender's by who it is, not by the
    // name it goes by; its off goes where its on went. Each input hears what
    // its key stepped.
    void inputsShareTheInterpreterButNotTheDoor() {
        Session s;
        auto* other = new TestInput;
        s.session.addInput(other);
        const nuvok::KeyOrigin handset{
            "127.0.0.7 by TCP", "", "", {nuvok::InputKind::Handset, "127.0.0.7/TCP"}};
        nuvok::KeyOrigin namesake = handset;
        namesake.identity = {nuvok::InputKind::Phone, "1"};
        s.input->press('9', handset);
        other->press('9', namesake);
        QVERIFY(
            s.lines.contains(QStringLiteral("The door stays shut: its first \"9\" came from "
                                            "127.0.0.7 by TCP, the second from 127.0.0.7 by TCP")));
        s.input->press('9', handset);
        other->press('9', handset);
        QVERIFY(s.controller.waitForCommands(1));
        QCOMPARE(s.controller.commands().first(), QByteArray("setport 1.1\r\n"));
        // A controller moved during the pulse: the off goes where the on went.
        ControllerStandIn moved;
        s.session.setController(QStringLiteral("127.0.0.1"), moved.port());
        QVERIFY(s.controller.waitForCommands(2));
        QCOMPARE(s.controller.commands().last(), QByteArray(nuvok::kDoorCloseCommand) + "\r\n");
        QVERIFY(moved.commands().isEmpty());
        other->press(kUp);
        other->pressMedia(nuvok::MediaKey::VolumeDown);
        QCOMPARE(other->steps, (std::vector<std::optional<nuvok::MediaKey>>{
                                   std::nullopt, std::nullopt, nuvok::MediaKey::VolumeUp,
                                   nuvok::MediaKey::VolumeDown}));
        QVERIFY(s.logged(QStringLiteral("Vol-")));
    }

    // An input's door warning is said when its gap opens, once while it
    // stays open, and again when the trust is set; the end of the run ends
    // every input for good.
    void doorWarningsAndTheEnd() {
        Session s;
        auto* other = new TestInput;
        s.session.addInput(other);
        s.input->setWarning(QStringLiteral("first gap"));
        s.input->setWarning(QStringLiteral("first gap"));
        other->setWarning(QStringLiteral("second gap"));
        s.session.setControllerTrust({});
        s.input->setWarning({});
        s.input->setWarning(QStringLiteral("first gap"));
        QCOMPARE(s.lines.filter(QStringLiteral(" gap")),
                 (QStringList{"first gap", "second gap", "first gap", "second gap", "first gap"}));
        QCOMPARE(s.lines.filter(QStringLiteral("The door warning no longer holds")).size(), 1);
        s.input->start();
        QVERIFY(s.input->running);
        s.session.end();
        s.input->start();
        QVERIFY(!s.input->running && s.input->ended());
        auto* late = new TestInput;
        s.session.addInput(late);
        QVERIFY(late->ended());
        const qsizetype before = s.lines.size();
        s.input->press(kUp);
        QCOMPARE(s.lines.size(), before);
    }

    // A bubble names the mode the handset chose with Menu, also the one it
    // was in, and the mode the run fell back to; the door's first key and
    // the LEDs' on and off are no mode. Each step is keys, then the bubble
    // it brings, or none.
    void modeBubbles_data() {
        QTest::addColumn<QList<QList<int>>>("steps");
        QTest::addColumn<QStringList>("bubbles");
        const QList<int> video{kMenu, kRight}, audio{kMenu, kUp}, leds{kMenu, nuvok::kKeyLeft},
            idle{kMenu, nuvok::kKeyIdle};
        QTest::newRow("each mode")
            << QList<QList<int>>{video, audio, leds, idle}
            << QStringList{"Video mode", "Audio mode", "LED control", "Idle"};
        QTest::newRow("chosen again")
            << QList<QList<int>>{video, video} << QStringList{"Video mode", "Video mode"};
        QTest::newRow("plain keys") << QList<QList<int>>{video, {'5'}, {'0'}, {kMenu}}
                                    << QStringList{"Video mode", "", "", ""};
        QTest::newRow("door") << QList<QList<int>>{video, {'9'}, {'5'}}
                              << QStringList{"Video mode", "", "Idle"};
        QTest::newRow("LEDs on") << QList<QList<int>>{leds, audio}
                                 << QStringList{"LED control", ""};
    }
    void modeBubbles() {
        QFETCH(QList<QList<int>>, steps);
        QFETCH(QStringList, bubbles);
        // Answers at once, as a service close by.
        struct Recorder : NotificationService {
            void notify(const Bubble& bubble) override {
                shownSummaries << bubble.summary;
                emit shown(1);
            }
            QStringList shownSummaries;
        };
        auto service = std::make_shared<Recorder>();
        Session s;
        s.session.feedback()->setService(service);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            const qsizetype before = service->shownSummaries.size();
            for (int key : steps[i])
                s.input->press(key);
            if (bubbles[i].isEmpty()) {
                QTest::qWait(150);
                QCOMPARE(service->shownSummaries.size(), before);
            } else {
                QVERIFY(waitUntil([&] { return service->shownSummaries.size() > before; }, 2000));
                QCOMPARE(service->shownSummaries.mid(before), QStringList{bubbles[i]});
            }
        }
    }
};

QTEST_MAIN(RemoteSessionTest)
#include "test_remotesession.moc"
