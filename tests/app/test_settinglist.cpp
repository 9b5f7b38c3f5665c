#include "app/settings/settinglist.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

// The one list of settings: each default passes its own check, each type
// turns away what cannot be used and names why, and the manual page and the
// user manual name every key.
class SettingListTest : public QObject {
    Q_OBJECT

private slots:
    void defaultsPassTheirChecks() {
        for (const SettingEntry& setting : settingList()) {
            QCOMPARE(findSetting(QLatin1String(setting.key)), &setting);
            QVERIFY2(settingProblem(setting, QLatin1String(setting.defaultText)).isEmpty(),
                     setting.key);
        }
        QCOMPARE(findSetting(QStringLiteral("portnum")), nullptr); // keys are as stored
    }

    void checks_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem");
        const QString noPort = QStringLiteral("is not a port from 1 to 65535");
        QTest::newRow("port") << "portNum"
                              << " 8080 "
                              << "";
        QTest::newRow("port 0") << "portNum"
                                << "0" << noPort;
        QTest::newRow("port 65536") << "ControllerPort"
                                    << "65536" << noPort;
        QTest::newRow("port with a fraction") << "LircPort"
                                              << "80.5" << noPort;
        QTest::newRow("blanks mean the default") << "ControllerPort"
                                                 << "   "
                                                 << "";
        QTest::newRow("protocol") << "Protocol"
                                  << "TCP"
                                  << "";
        QTest::newRow("protocol in lower case") << "Protocol"
                                                << "tcp"
                                                << "is neither TCP nor UDP";
        QTest::newRow("host name") << "ControllerHost"
                                   << "door-controller.lan"
                                   << "";
        QTest::newRow("IPv6 host") << "LircHost"
                                   << "::1"
                                   << "";
        QTest::newRow("host with a blank") << "ControllerHost"
                                           << "my controller"
                                           << "is not a host name or address";
        QTest::newRow("zero-padded host") << "ControllerHost"
                                          << "127.000.000.010" << zeroPaddedText();
        QTest::newRow("title with a comma") << "VideoTitle"
                                            << "Video, the player"
                                            << "";
        QTest::newRow("title of blanks") << "AudioTitle"
                                         << "   "
                                         << "is not a window title";
        QTest::newRow("title with a control code")
            << "AudioTitle" << QStringLiteral("Aud\tio") << "is not a window title";
        QTest::newRow("switch") << "DoorOverTcpOnly"
                                << " True "
                                << "";
        QTest::newRow("switch yes") << "Notifications"
                                    << "yes"
                                    << "is neither true nor false";
        QTest::newRow("address list") << "Handsets"
                                      << "127.0.0.2, fd00::/8"
                                      << "";
        QTest::newRow("address list with a name")
            << "ControllerHandsets"
            << "127.0.0.2, handset.lan"
            << "names \"handset.lan\", which is neither an address nor a network like "
               "192.168.1.30 or 192.168.1.64/28";
        QTest::newRow("player control") << "PlayerControl"
                                        << "MPRIS"
                                        << "";
        QTest::newRow("player control dbus") << "PlayerControl"
                                             << "dbus"
                                             << "is none of auto, keys and mpris";
    }
    void checks() {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, problem);
        const SettingEntry* setting = findSetting(key);
        QVERIFY(setting);
        QCOMPARE(settingProblem(*setting, text), problem);
    }

    // The manual page names a key as a word, the user manual as code.
    void theManualsNameEveryKey_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("manual page") << "data/nuvokrc.1.in"
                                     << "\\b%1\\b";
        QTest::newRow("user manual") << "docs/manual.md"
                                     << "`%1`";
    }
    void theManualsNameEveryKey() {
        QFETCH(QString, path);
        QFETCH(QString, pattern);
        QFile manual(QStringLiteral(NUVOK_SOURCE_DIR "/") + path);
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(manual.readAll());
        for (const SettingEntry& setting : settingList())
            QVERIFY2(text.contains(QRegularExpression(pattern.arg(setting.key))), setting.key);
    }
};

QTEST_MAIN(SettingListTest)
#include "test_settinglist.moc"
