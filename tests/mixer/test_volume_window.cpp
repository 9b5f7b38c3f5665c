#include "support/fakemixer.h"
#include "support/windowcontrols.h"

#include "app/dialogs.h"
#include "app/f_nuvokrc.h"
#include "common/failure.h"
#include "mixer/clsvolume.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using nuvok::kComponentSpeakers;
using nuvok::test::FakeMixerDevice;
using nuvok::test::MixerOp;
using nuvok::test::RecordingNotifier;

class TestVolumeWindow : public QObject {
    Q_OBJECT

private:
    // Services with the given fake mixer and a recorder for messages.
    static WindowServices servicesWith(FakeMixerDevice& device,
                                       std::shared_ptr<RecordingNotifier> notifier) {
        WindowServices services;
        services.mixerBackend = [&device] { return device.backend(); };
        services.notifier = std::move(notifier);
        return services;
    }

    // The window's own options, with the sound server's work done at once.
    static WindowOptions inlinePeers() {
        WindowOptions options;
        options.peerTimes.ownThreads = false;
        return options;
    }

    // The line a step failed with; empty when it was made.
    static QString volumeStepFails(F_NUVOKrc& window, bool up) {
        const qsizetype before = window.logText().size();
        up ? window.session()->VolIncr() : window.session()->VolDecr();
        const QStringList added = window.logText().mid(before).split(QStringLiteral("\r\n"));
        for (const QString& line : added) {
            if (line.startsWith(QLatin1String("Volume not changed")))
                return line;
        }
        return {};
    }

private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("NUVOKrc")); }

    void messageBoxIsModalWithOkOnlyAndTheApplicationTitle() {
        QString title;
        QString text;
        QList<QAbstractButton*> buttons;
        bool modal = false;
        QMessageBox::Icon icon = QMessageBox::Information;
        QTimer poll;
        poll.setInterval(10);
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            title = box->windowTitle();
            text = box->text();
            buttons = box->buttons();
            modal = box->isModal();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start();
        // Should the box go unnoticed, close it so the test fails instead of hanging.
        QTimer::singleShot(10000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        DialogsNotifier notifier(std::make_shared<QtDialogs>());
        notifier.showMessage("Es wurde kein Mixer gefunden!");
        QCOMPARE(title, QStringLiteral("NUVOKrc"));
        QCOMPARE(text, QStringLiteral("Es wurde kein Mixer gefunden!"));
        QCOMPARE(buttons.size(), 1);
        QVERIFY(modal);
        QCOMPARE(icon, QMessageBox::NoIcon);
    }

    void stepsBeforeTheVolumeObjectExistsFailWithADescription() {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 100);
        F_NUVOKrc window(servicesWith(device, std::make_shared<RecordingNotifier>()),
                         inlinePeers());
        for (bool up : {true, false})
            QVERIFY(!volumeStepFails(window, up).isEmpty());
        QCOMPARE(device.calls(MixerOp::Open), 0);
        QCOMPARE(device.level(kComponentSpeakers), 100);
    }

    void stepsGoThroughTheWindowsVolumeObject() {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 0);
        auto notifier = std::make_shared<RecordingNotifier>();
        {
            F_NUVOKrc window(servicesWith(device, notifier), inlinePeers());
            nuvok::test::runHandler(window, "createVolumeObject");
            QVERIFY(window.session()->volume());
            window.session()->VolIncr();
            window.session()->VolIncr();
            QCOMPARE(device.level(kComponentSpeakers), 2 * 4369);
            window.session()->VolDecr();
            QCOMPARE(device.level(kComponentSpeakers), 4369);
            QVERIFY(notifier->messages.empty());
        }
        QCOMPARE(device.calls(MixerOp::Open), 1);
        QCOMPARE(device.calls(MixerOp::Close), 1);
    }

    void noMixerIsAnnouncedOnce() {
        FakeMixerDevice device;
        device.fail(MixerOp::Open);
        auto notifier = std::make_shared<RecordingNotifier>();
        F_NUVOKrc window(servicesWith(device, notifier), inlinePeers());
        nuvok::test::runHandler(window, "createVolumeObject");
        QCOMPARE(notifier->messages, std::vector<std::string>{"Es wurde kein Mixer gefunden!"});
        QVERIFY(
            volumeStepFails(window, true).startsWith(QLatin1String("Volume not changed (Vol+): ")));
        QCOMPARE(window.session()->volume()->WaveVolume(), 0);
        QCOMPARE(notifier->messages.size(), std::size_t(1));
    }

    // A mixer that comes up after start-up (a sound server started late) is
    // used by the next key, and the log says so once.
    void aMixerFoundLaterIsUsedAndAnnounced() {
        FakeMixerDevice device;
        device.addLine(kComponentSpeakers, 0, 65535, 0);
        device.fail(MixerOp::Open);
        device.failureText = "no sound server is running";
        auto notifier = std::make_shared<RecordingNotifier>();
        F_NUVOKrc window(servicesWith(device, notifier), inlinePeers());
        nuvok::test::runHandler(window, "createVolumeObject");
        QCOMPARE(volumeStepFails(window, false),
                 QStringLiteral("Volume not changed (Vol-): no sound server is running"));
        device.heal(MixerOp::Open);
        window.session()->VolIncr();
        window.session()->VolIncr();
        QCOMPARE(device.level(kComponentSpeakers), 2 * 4369);
        QCOMPARE(window.logText().count(QStringLiteral("Volume control available: ")), 1);
        QCOMPARE(notifier->messages.size(), std::size_t(1));
    }

    void withoutServicesTheMessageGoesToTheLog() {
        F_NUVOKrc window({}, inlinePeers());
        nuvok::test::runHandler(window, "createVolumeObject");
        QVERIFY(window.session()->volume());
        QVERIFY(window.logText().contains(QStringLiteral("Es wurde kein Mixer gefunden!")));
        QVERIFY(!volumeStepFails(window, false).isEmpty());
        QCOMPARE(window.session()->volume()->MaxWaveVolume(), 0);
    }
};

QTEST_MAIN(TestVolumeWindow)
#include "test_volume_window.moc"
