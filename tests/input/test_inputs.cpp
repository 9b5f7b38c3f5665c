#include "input/handsetinput.h"
#include "input/infraredinput.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class InputsTest : public QObject {
    Q_OBJECT

private slots:
    // The listener in words, and the warning that a forged datagram may open
    // the door: only while it takes datagrams and the trust lets one do so.
    void handsetStateAndDoorWarning_data() {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("doorOverTcpOnly");
        QTest::addColumn<QString>("handsets");
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("warns");
        QTest::newRow("UDP") << 1 << false << ""
                             << "listening on UDP port %1" << true;
        QTest::newRow("UDP, door by TCP only") << 1 << true << ""
                                               << "listening on UDP port %1" << false;
        QTest::newRow("UDP, no usable handset") << 1 << false << "nonsense"
                                                << "listening on UDP port %1" << false;
        QTest::newRow("TCP") << 0 << false << ""
                             << "listening on TCP port %1" << false;
    }
    void handsetStateAndDoorWarning() {
        QFETCH(int, protocol);
        QFETCH(bool, doorOverTcpOnly);
        QFETCH(QString, handsets);
        QFETCH(QString, state);
        QFETCH(bool, warns);
        HandsetInput input;
        QCOMPARE(input.stateText(), QStringLiteral("not listening"));
        ControllerTrust trust;
        trust.doorOverTcpOnly = doorOverTcpOnly;
        trust.handsets = HandsetList::parse(handsets);
        input.setTrust(trust);
        QSignalSpy reach(&input, &KeyInput::reachChanged);
        input.listen(0, protocol);
        QCOMPARE(reach.size(), 1);
        QCOMPARE(input.stateText(), state.arg(input.socket().boundPort()));
        QCOMPARE(!input.forgedSenderWarning().isEmpty(), warns);
        input.end();
        input.start(); // an ended input listens no more
        QCOMPARE(input.stateText(), QStringLiteral("not listening"));
        QCOMPARE(input.forgedSenderWarning(), QString());
    }

    void infraredState() {
        InfraredInput input;
        input.start();
        QCOMPARE(input.stateText(), QStringLiteral("not in use"));
        QTemporaryDir folder;
        LircSettings settings;
        settings.place.socketPath = folder.path() + QStringLiteral("/lircd");
        input.setSettings(settings);
        input.start();
        QCOMPARE(input.stateText(),
                 QStringLiteral("waiting for lircd at %1").arg(settings.place.text()));
        input.end();
        input.start();
        QCOMPARE(input.stateText(), QStringLiteral("stopped"));
    }
};

QTEST_MAIN(InputsTest)
#include "test_inputs.moc"
