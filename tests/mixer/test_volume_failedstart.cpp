// A start whose port is taken, then Listen pressed for another port, then the
// Up key: the real mixer (a private sound server) moves one step. The volume
// object must not depend on the listener having opened.

#include "app/f_nuvokrc.h"
#include "remote/keymessage.h"
#include "support/eventwait.h"
#include "support/fakemixer.h"
#include "support/faketrayarea.h"
#include "support/memorysettings.h"
#include "support/windowfixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

using namespace nuvok::test;

namespace {

// The first channel's raw volume of the default sink, as the server says.
long sinkVolume() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("get-sink-volume"), QStringLiteral("@DEFAULT_SINK@")});
    pactl.waitForFinished(10000);
    const auto match = QRegularExpression(QStringLiteral(R"(:\s*(\d+)\s*/)"))
                           .match(QString::fromUtf8(pactl.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}

} // namespace

class VolumeAfterFailedStartTest : public QObject {
    Q_OBJECT

private slots:
    void upStepsTheMixerOnceAnotherPortListens();
};

void VolumeAfterFailedStartTest::upStepsTheMixerOnceAnotherPortListens() {
    QVERIFY(QProcess::execute(QStringLiteral("pactl"),
                              {QStringLiteral("set-sink-volume"), QStringLiteral("@DEFAULT_SINK@"),
                               QStringLiteral("30%")}) == 0);
    const long before = sinkVolume();
    QVERIFY(before > 0);

    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    WindowServices services;
    services.settings = std::make_shared<MemorySettings>();
    services.trayArea = std::make_shared<FakeTrayArea>();
    services.mixerBackend = [] { return nuvok::createSystemMixer(); };
    auto notifier = std::make_shared<RecordingNotifier>();
    services.notifier = notifier;
    F_NUVOKrc window(services, WindowFixture::shortOptions());
    window.Form_Load(QStringLiteral("-port %1").arg(occupier.localPort()).toStdString());
    QCOMPARE(window.handset()->socket().State(), 0);
    QVERIFY(notifier->messages.empty()); // the mixer was found

    const quint16 port = freePort();
    window.handset()->listenPort = port;
    runHandler(window, "b_listen_Click");
    QCOMPARE(window.handset()->socket().LocalPort(), int(port));

    QUdpSocket handset;
    const std::string up = nuvok::keyMessage(nuvok::kKeyUp);
    handset.writeDatagram(up.data(), qint64(up.size()), QHostAddress::LocalHost, port);
    QVERIFY2(waitUntil([&] { return sinkVolume() != before; }, 10000),
             qPrintable(window.logText()));
    // One fifteenth of the full range.
    QVERIFY2(qAbs(sinkVolume() - before - 65536 / 15) <= 2, qPrintable(window.logText()));
}

QTEST_MAIN(VolumeAfterFailedStartTest)
#include "test_volume_failedstart.moc"
