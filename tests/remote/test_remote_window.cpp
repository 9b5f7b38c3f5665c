#include "app/f_nuvokrc.h"
#include "common/failure.h"
#include "support/controllerstandin.h"
#include "support/eventwait.h"
#include "support/fakedesktopcontrol.h"
#include "support/windowfixture.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

using nuvok::test::ControllerStandIn;
using nuvok::test::waitUntil;

namespace {

struct Window {
    std::shared_ptr<nuvok::test::FakeDesktopControl> desktop =
        std::make_shared<nuvok::test::FakeDesktopControl>();
    std::unique_ptr<F_NUVOKrc> f;

    explicit Window(quint16 controllerPort = 0, bool withDesktop = true) {
        WindowServices services;
        if (withDesktop)
            services.desktop = desktop;
        WindowOptions options = nuvok::test::WindowFixture::shortOptions();
        if (controllerPort != 0)
            options.controllerPort = controllerPort;
        f = std::make_unique<F_NUVOKrc>(std::move(services), std::move(options));
        f->session()->strAudioTitle = QStringLiteral("Winamp");
        f->session()->strVideoTitle = QStringLiteral("VLC");
    }
    QStringList logLines() const {
        QStringList lines = f->logText().split(QStringLiteral("\r\n"));
        lines.removeAll(QString());
        lines.removeFirst(); // the panel's heading
        return lines;
    }
};

} // namespace

class RemoteWindowTest : public QObject {
    Q_OBJECT

private slots:
    void playerKeysReachTheDesktop() {
        Window w;
        for (int code : {238, 17, 16, 53, 4, 48})
            w.f->session()->doRC(code);
        QCOMPARE(w.desktop->calls,
                 (std::vector<std::string>{"activate:VLC", "keys:{left}", "activate:VLC",
                                           "keys: ", "keys:{enter}", "keys: "}));
        QCOMPARE(w.logLines(), (QStringList{"bMenu 1", "mode_Video", "{left}", "[Space] Pause",
                                            "Select->Enter", "[Space]"}));
        QCOMPARE(w.f->session()->shownMode(), QStringLiteral("Video mode"));
        w.f->session()->doRC(238);
        w.f->session()->doRC(14);
        QCOMPARE(w.desktop->calls.back(), std::string("activate:Winamp"));
        QCOMPARE(w.f->session()->shownMode(), QStringLiteral("Audio mode"));
    }

    // A failed peer effect is one line in place of its row's lines; the state
    // steps of its key (the mode, the menu flag, the door step, the display)
    // are done all the same, so "9, Up (failing), 9" opens nothing.
    void aFailedEffectLeavesTheStateStepsDone_data() {
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("mode");
        QTest::newRow("activation")
            << QList<int>{238, 17} << QStringList{"bMenu 1", "mode_Video", R"(No window "VLC")"}
            << "Video mode" << 4;
        QTest::newRow("door, volume, door")
            << QList<int>{57, 14, 57}
            << QStringList{"DoorPreOpen", "idle",
                           "Volume not changed (Vol+): the mixer has not been opened yet",
                           "DoorPreOpen"}
            << "3" << 3;
    }
    void aFailedEffectLeavesTheStateStepsDone() {
        QFETCH(QList<int>, codes);
        QFETCH(QStringList, lines);
        ControllerStandIn controller;
        Window w(controller.port());
        w.desktop->openWindows.clear();
        for (int code : codes)
            w.f->session()->doRC(code);
        QCOMPARE(w.logLines(), lines);
        QTEST(w.f->session()->shownMode(), "shown");
        QTEST(w.f->session()->RemoteState.mode, "mode");
        QVERIFY(!w.f->session()->RemoteState.bMenu);
        QTest::qWait(100);
        QVERIFY(controller.commands().isEmpty());
    }

    void withoutABackEndPlayerKeysFailWithADescription() {
        Window w(0, false);
        w.f->session()->doRC(48);
        const QString description = w.logLines().value(0);
        QVERIFY2(description.contains(QStringLiteral("keystroke")), qPrintable(description));
    }

    void ledCommandReachesTheController() {
        ControllerStandIn controller;
        Window w(controller.port());
        for (int code : {238, 16, 49})
            w.f->session()->doRC(code);
        QVERIFY(controller.waitForCommands(1));
        QCOMPARE(controller.commands(), QList<QByteArray>{"setport 1.1 \r\n"});
        QCOMPARE(w.f->session()->shownMode(), QStringLiteral("1"));
    }

    // A command that cannot be delivered is named once, after its retry; the
    // key's own lines stay as they are, and the keys after it are handled at
    // once.
    void aCommandNotDeliveredIsNamedOnce() {
        ControllerStandIn controller(ControllerStandIn::Mode::Refuses);
        Window w(controller.port());
        for (int code : {57, 57})
            w.f->session()->doRC(code);
        w.f->session()->doRC(48); // a space for the player, whatever the controller does
        QCOMPARE(w.logLines(), (QStringList{"DoorPreOpen", "Open Door", "[Space]"}));
        const QString prefix = QStringLiteral("Controller 127.0.0.1:%1: ").arg(controller.port());
        const QStringList expected{prefix + R"("setport 1.1" not delivered (connection refused))",
                                   prefix + R"("setport 1.0" not delivered (connection refused))"};
        QVERIFY(waitUntil([&] { return w.logLines().size() >= 5; }, 5000));
        QCOMPARE(w.logLines().mid(3), expected);
    }

    // The door stays open 0.8 s whatever keys come meanwhile; they are handled
    // as they come, and the pulse's end leaves the mode, the menu flag and the
    // mode field as the door key's end did after its pause.
    void doorPulseKeepsItsLengthWhateverKeysCome_data() {
        QTest::addColumn<QList<int>>("during");
        QTest::addColumn<QList<QByteArray>>("commands");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("mode");
        const QByteArray on("setport 1.1\r\n");
        const QByteArray off("setport 1.0\r\n");
        QTest::newRow("no key") << QList<int>{} << QList<QByteArray>{on, off} << "0" << 0;
        QTest::newRow("LED keys") << QList<int>{238, 16, 51, 238, 16, 52}
                                  << QList<QByteArray>{on, "setport 3.1 \r\n", "setport 4.1 \r\n",
                                                       off}
                                  << "1" << 1;
        QTest::newRow("a third 9") << QList<int>{57} << QList<QByteArray>{on, off} << "3" << 3;
        QTest::newRow("Menu is cleared")
            << QList<int>{238} << QList<QByteArray>{on, off} << "0" << 0;
        QTest::newRow("menu then video")
            << QList<int>{238, 17} << QList<QByteArray>{on, off} << "Video mode" << 4;
    }
    void doorPulseKeepsItsLengthWhateverKeysCome() {
        QFETCH(QList<int>, during);
        QFETCH(QList<QByteArray>, commands);
        QFETCH(QString, shown);
        QFETCH(int, mode);
        ControllerStandIn controller;
        Window w(controller.port());
        w.f->session()->doRC(57);
        w.f->session()->doRC(57);
        QCOMPARE(w.f->session()->shownMode(), QStringLiteral("0"));
        for (int code : during) {
            QTest::qWait(60);
            w.f->session()->doRC(code);
        }
        QVERIFY(controller.waitForCommands(commands.size()));
        QCOMPARE(controller.commands(), commands);
        const auto& sent = controller.connections();
        const qint64 pulse = sent.back().acceptedMs - sent.front().acceptedMs;
        QVERIFY2(pulse >= 800 - nuvok::test::kStandInLatenessMs && pulse <= 1300,
                 qPrintable(QString::number(pulse)));
        QCOMPARE(w.f->session()->shownMode(), shown);
        QCOMPARE(w.f->session()->RemoteState.mode, mode);
        QVERIFY(!w.f->session()->RemoteState.bMenu);
    }
};

QTEST_MAIN(RemoteWindowTest)
#include "test_remote_window.moc"
