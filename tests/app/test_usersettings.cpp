#include "app/startsettings.h"
#include "common/buildconfig.h"
#include "support/eventwait.h"
#include "support/windowfixture.h"

#include <QAction>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using namespace nuvok::test;

// The settings a user may add beyond port and protocol: the controller's
// address, the players' titles and the handsets allowed to send keys.
class UserSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void settingsAreReadOnceAtStartUp_data();
    void settingsAreReadOnceAtStartUp();
    void usageCardNamesThePlayersInUse();
    void controllerNamedInTheSettingsGetsTheCommands();
    void handsetsKeepOthersOut_data();
    void handsetsKeepOthersOut();
    void handsetsWithoutAUsableEntryLetNobodyIn();
    void infraredSettings_data();
    void infraredSettings();
    void notificationsFollowTheSettingAndTheMenu_data();
    void notificationsFollowTheSettingAndTheMenu();
    void doorWarningStandsWhenADatagramCanOpenIt_data();
    void doorWarningStandsWhenADatagramCanOpenIt();
};

namespace {

const QString kBuildHost = QStringLiteral("127.0.0.1"); // the fixture's controller
const float kBuildPort = float(nuvok::build::kControllerPort);

// The log lines about settings, and about ignored senders.
QStringList linesStartingWith(const WindowFixture& f, const QString& start) {
    QStringList found;
    for (const QString& line : f.logLines())
        if (line.startsWith(start))
            found << line;
    return found;
}

// How many messages the log says were ignored from sender, in all lines.
int ignoredFrom(const WindowFixture& f, const QString& sender) {
    int count = 0;
    const QString suffix = QStringLiteral(" (not in Handsets)");
    for (const QString& line : f.logLines()) {
        if (line == "Ignored a message from " + sender + suffix)
            ++count;
        static const QRegularExpression more(QStringLiteral(
            R"(^Ignored (\d+) (?:more )?messages? from (\S+) \(not in Handsets\)$)"));
        const QRegularExpressionMatch match = more.match(line);
        if (match.hasMatch() && match.captured(2) == sender)
            count += match.captured(1).toInt();
    }
    return count;
}

void startOn(WindowFixture& f, quint16 port) {
    f->Form_Load(QStringLiteral("-port %1").arg(port).toStdString());
}

// A sender on a loopback address of its own.
void sendDatagrams(const QString& from, quint16 port, const QByteArray& message, int count) {
    QUdpSocket socket;
    QVERIFY2(socket.bind(QHostAddress(from), 0), qPrintable(socket.errorString()));
    for (int i = 0; i < count; ++i)
        QCOMPARE(socket.writeDatagram(message, QHostAddress::LocalHost, port), message.size());
}

} // namespace

void UserSettingsTest::settingsAreReadOnceAtStartUp_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("host");
    QTest::addColumn<float>("port");
    QTest::addColumn<QString>("video");
    QTest::addColumn<QString>("audio");
    QTest::addColumn<QString>("logged"); // the one line about the setting, or none
    const QString vlc = QStringLiteral("VLC");
    const QString winamp = QStringLiteral("Winamp");
    QTest::newRow("nothing set") << ""
                                 << "" << kBuildHost << kBuildPort << vlc << winamp << "";
    QTest::newRow("host empty") << "ControllerHost"
                                << "" << kBuildHost << kBuildPort << vlc << winamp << "";
    QTest::newRow("host address") << "ControllerHost"
                                  << " 127.0.0.9 "
                                  << "127.0.0.9" << kBuildPort << vlc << winamp << "";
    QTest::newRow("host IPv6") << "ControllerHost"
                               << "::1"
                               << "::1" << kBuildPort << vlc << winamp << "";
    QTest::newRow("host name") << "ControllerHost"
                               << "localhost"
                               << "localhost" << kBuildPort << vlc << winamp << "";
    QTest::newRow("host with blank")
        << "ControllerHost"
        << "my controller" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting ControllerHost \"my controller\" is not a host name or address; the "
           "controller stays at 127.0.0.1";
    QTest::newRow("host bad address")
        << "ControllerHost"
        << "127.0.0.500" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting ControllerHost \"127.0.0.500\" is not a host name or address; the "
           "controller stays at 127.0.0.1";
    QTest::newRow("host zero-padded")
        << "ControllerHost"
        << "127.000.000.010" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting ControllerHost \"127.000.000.010\" has a zero-padded part, which some "
           "programs read as octal and others as decimal: write it without leading zeros; the "
           "controller stays at 127.0.0.1";
    QTest::newRow("host network") << "ControllerHost"
                                  << "::1/128" << kBuildHost << kBuildPort << vlc << winamp
                                  << "Setting ControllerHost \"::1/128\" is not a host name or "
                                     "address; the controller stays at 127.0.0.1";
    QTest::newRow("host with line break")
        << "ControllerHost"
        << "a\nb" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting ControllerHost \"a\u240Ab\" is not a host name or address; the controller "
           "stays at 127.0.0.1";
    QTest::newRow("port") << "ControllerPort"
                          << "5000" << kBuildHost << 5000.0f << vlc << winamp << "";
    QTest::newRow("port 65535") << "ControllerPort"
                                << "65535" << kBuildHost << 65535.0f << vlc << winamp << "";
    const QString portStays = QStringLiteral(" is not a port from 1 to 65535; the controller "
                                             "stays on port %1")
                                  .arg(nuvok::build::kControllerPort);
    QTest::newRow("port 0") << "ControllerPort"
                            << "0" << kBuildHost << kBuildPort << vlc << winamp
                            << "Setting ControllerPort \"0\"" + portStays;
    QTest::newRow("port 65536") << "ControllerPort"
                                << "65536" << kBuildHost << kBuildPort << vlc << winamp
                                << "Setting ControllerPort \"65536\"" + portStays;
    QTest::newRow("port word") << "ControllerPort"
                               << "http" << kBuildHost << kBuildPort << vlc << winamp
                               << "Setting ControllerPort \"http\"" + portStays;
    QTest::newRow("port fraction") << "ControllerPort"
                                   << "80.5" << kBuildHost << kBuildPort << vlc << winamp
                                   << "Setting ControllerPort \"80.5\"" + portStays;
    QTest::newRow("video") << "VideoTitle"
                           << "mpv" << kBuildHost << kBuildPort << "mpv" << winamp << "";
    QTest::newRow("video blanks")
        << "VideoTitle"
        << "   " << kBuildHost << kBuildPort << vlc << winamp
        << "Setting VideoTitle \"   \" is not a window title; the video player stays \"VLC\"";
    QTest::newRow("audio") << "AudioTitle"
                           << " Audacious " << kBuildHost << kBuildPort << vlc << "Audacious"
                           << "";
    QTest::newRow("audio tab")
        << "AudioTitle"
        << "Aud\tacious" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting AudioTitle \"Aud\u2409acious\" is not a window title; the audio player "
           "stays \"Winamp\"";
    QTest::newRow("handsets entry")
        << "Handsets"
        << "127.0.0.2, handset.lan" << kBuildHost << kBuildPort << vlc
        << winamp
        // The rest of the line gives examples from a home network.
        << "Setting Handsets: \"handset.lan\" is neither an address nor a network like …";
    QTest::newRow("handsets zero-padded")
        << "Handsets"
        << "127.0.0.2, 127.000.000.010" << kBuildHost << kBuildPort << vlc << winamp
        << "Setting Handsets: \"127.000.000.010\" has a zero-padded part, which some programs "
           "read as octal and others as decimal: write it without leading zeros; it is left out";
}

void UserSettingsTest::settingsAreReadOnceAtStartUp() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, host);
    QFETCH(float, port);
    QFETCH(QString, video);
    QFETCH(QString, audio);
    QFETCH(QString, logged);
    WindowFixture f;
    if (!key.isEmpty())
        f.settings->values[key.toStdString()] = value.toStdString();
    startOn(f, quint16(freePort()));
    QCOMPARE(f->session()->controllerHost(), host);
    QCOMPARE(f->session()->controllerPort(), port);
    QCOMPARE(f->session()->strVideoTitle, video);
    QCOMPARE(f->session()->strAudioTitle, audio);
    QStringList settingLines = linesStartingWith(f, QStringLiteral("Setting "));
    // An expected line ending in "…" gives only how the line begins.
    if (logged.endsWith(u'…') && settingLines.size() == 1)
        settingLines[0].truncate(logged.size() - 1);
    QCOMPARE(settingLines, logged.isEmpty()
                               ? QStringList()
                               : QStringList{logged.chopped(logged.endsWith(u'…') ? 1 : 0)});

    // Read once: a change afterwards waits for the next start.
    f.settings->values["ControllerHost"] = "127.0.0.8";
    f.settings->values["VideoTitle"] = "other";
    runHandler(*f.window, "b_listen_Click");
    QCOMPARE(f->session()->controllerHost(), host);
    QCOMPARE(f->session()->strVideoTitle, video);
}

void UserSettingsTest::infraredSettings_data() {
    QTest::addColumn<QStringList>("entries"); // key=value, or LircButtons/key=value
    QTest::addColumn<QString>("place");
    QTest::addColumn<QStringList>("remotes");
    QTest::addColumn<QString>("logged");
    const QString socket = QStringLiteral("/run/lirc/lircd");
    QTest::newRow("nothing set") << QStringList{} << socket << QStringList{} << "";
    QTest::newRow("socket") << QStringList{"LircSocket= /tmp/l/sock "} << "/tmp/l/sock"
                            << QStringList{} << "";
    QTest::newRow("host") << QStringList{"LircHost=127.0.0.1"} << "127.0.0.1:8765" << QStringList{}
                          << "";
    QTest::newRow("host and port")
        << QStringList{"LircHost=::1", "LircPort=9000"} << "[::1]:9000" << QStringList{} << "";
    QTest::newRow("bad port") << QStringList{"LircHost=localhost", "LircPort=0"} << "localhost:8765"
                              << QStringList{}
                              << "Setting LircPort \"0\" is not a port from 1 to 65535; lircd is "
                                 "looked for on port 8765";
    QTest::newRow("bad host") << QStringList{"LircHost=my pc"} << socket << QStringList{}
                              << "Setting LircHost \"my pc\" is not a host name or address; it "
                                 "is not used";
    QTest::newRow("zero-padded host")
        << QStringList{"LircHost=127.0.0.01"} << socket << QStringList{}
        << "Setting LircHost \"127.0.0.01\" has a zero-padded part, which some programs read as "
           "octal and others as decimal: write it without leading zeros; it is not used";
    QTest::newRow("remotes") << QStringList{"LircRemotes= tv2 ,, myremote"} << socket
                             << QStringList{"tv2", "myremote"} << "";
    QTest::newRow("bad button") << QStringList{"LircButtons/KEY_RED=red"} << socket << QStringList{}
                                << "Setting LircButtons/KEY_RED \"red\" is not a key code from "
                                   "0 to 255; the button keeps its default";
}

void UserSettingsTest::infraredSettings() {
    QFETCH(QStringList, entries);
    QFETCH(QString, place);
    QFETCH(QStringList, remotes);
    QFETCH(QString, logged);
    nuvok::test::MemorySettings store;
    for (const QString& entry : entries) {
        const QString key = entry.section(QLatin1Char('='), 0, 0);
        const std::string value = entry.section(QLatin1Char('='), 1).toStdString();
        if (key.startsWith(QLatin1String("LircButtons/")))
            store.sections["LircButtons"][key.mid(12).toStdString()] = value;
        else
            store.values[key.toStdString()] = value;
    }
    const StartSettings settings =
        readStartSettings(store, kBuildHost, kBuildPort, QStringLiteral("/run/lirc/lircd"));
    QCOMPARE(settings.lirc.place.text(), place);
    QCOMPARE(settings.lirc.remotes, remotes);
    QCOMPARE(settings.problems, logged.isEmpty() ? QStringList() : QStringList{logged});
}

void UserSettingsTest::notificationsFollowTheSettingAndTheMenu_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("logged");
    QTest::newRow("not set") << "" << true << "";
    QTest::newRow("false") << " FALSE " << false << "";
    QTest::newRow("true") << "true" << true << "";
    QTest::newRow("neither") << "no" << true
                             << "Setting Notifications \"no\" is neither true nor false; "
                                "notifications stay on";
}

// The mark in the menu is the setting; choosing the entry keeps the new
// choice for the next start.
void UserSettingsTest::notificationsFollowTheSettingAndTheMenu() {
    QFETCH(QString, value);
    QFETCH(bool, on);
    QFETCH(QString, logged);
    WindowFixture f;
    if (!value.isEmpty())
        f.settings->values["Notifications"] = value.toStdString();
    startOn(f, quint16(freePort()));
    auto* entry = f.window->findChild<QAction*>(QStringLiteral("m_notify"));
    QVERIFY(entry);
    QCOMPARE(entry->text(), QStringLiteral("Show &notifications"));
    QCOMPARE(entry->isChecked(), on);
    QCOMPARE(f->session()->feedback()->enabled(), on);
    QCOMPARE(linesStartingWith(f, QStringLiteral("Setting ")),
             logged.isEmpty() ? QStringList() : QStringList{logged});
    entry->trigger();
    QCOMPARE(f->session()->feedback()->enabled(), !on);
    QCOMPARE(f.settings->values["Notifications"], std::string(on ? "false" : "true"));
}

void UserSettingsTest::usageCardNamesThePlayersInUse() {
    WindowFixture f;
    f.settings->values["VideoTitle"] = "mpv";
    f.settings->values["AudioTitle"] = "Audacious";
    startOn(f, quint16(freePort()));
    runHandler(*f.window, "m_help_Click");
    QCOMPARE(f.dialogs->messages.size(), 1);
    const QStringList lines = f.dialogs->messages[0].text.split("\r\n");
    QCOMPARE(lines.size(), 18);
    QCOMPARE(lines[6], QStringLiteral("Menu + Right: Video-Control (mpv)"));
    QCOMPARE(lines[10], QStringLiteral("Menu + Up:   Audio-Control (Audacious)"));
}

void UserSettingsTest::controllerNamedInTheSettingsGetsTheCommands() {
    QTcpServer controller;
    QVERIFY(controller.listen(QHostAddress::LocalHost, 0));
    QByteArray received;
    connect(&controller, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* socket = controller.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, this,
                    [&, socket] { received += socket->readAll(); });
    });
    WindowOptions options = WindowFixture::shortOptions();
    options.controllerPort = float(freePort()); // nothing there: only the settings lead to it
    WindowFixture f(options);
    // A name, so that the connection waits for its lookup.
    f.settings->values["ControllerHost"] = "localhost";
    f.settings->values["ControllerPort"] = std::to_string(controller.serverPort());
    startOn(f, quint16(freePort()));
    QVERIFY(f->session()->sendCMD(QStringLiteral("setport 3.1 ")));
    QVERIFY(waitUntil([&] { return received == "setport 3.1 \r\n"; }));
}

void UserSettingsTest::handsetsKeepOthersOut_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("UDP") << false;
    QTest::newRow("TCP") << true;
}

void UserSettingsTest::handsetsKeepOthersOut() {
    QFETCH(bool, tcp);
    WindowFixture f(WindowFixture::shortOptions());
    f.settings->values["Handsets"] = "127.0.0.2, 127.0.1.0/24";
    f.settings->values["Protocol"] = tcp ? "TCP" : "UDP";
    const quint16 port = quint16(freePort());
    startOn(f, port);
    const SocketComponent& socket = f->handset()->socket();
    const QString peerBefore = socket.RemoteHostIP();
    QSignalSpy accepted(f->handset(), &HandsetInput::peerAccepted);
    constexpr int kFlood = 50;

    if (tcp) {
        // Each connection from the outsider is cut before anyone hears of it.
        std::vector<std::unique_ptr<QTcpSocket>> outsiders;
        for (int i = 0; i < kFlood; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            QVERIFY(socket->bind(QHostAddress(QStringLiteral("127.0.0.3")), 0));
            socket->connectToHost(QHostAddress::LocalHost, port);
            outsiders.push_back(std::move(socket));
        }
        QVERIFY(waitUntil([&] { return ignoredFrom(f, "127.0.0.3") == kFlood; }));
        QCOMPARE(f->handset()->socket().State(), int(SocketComponent::sckListening));
        QCOMPARE(accepted.size(), 0);
        QCOMPARE(socket.RemoteHostIP(), peerBefore);
        QTcpSocket handset;
        QVERIFY(handset.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        handset.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(handset.waitForConnected(5000));
        handset.write("6\xAC", 2);
        QVERIFY(waitUntil([&] { return f.logLines().contains("Remote: 6"); }));
        QCOMPARE(accepted.size(), 1);
        QCOMPARE(socket.RemoteHostIP(), QStringLiteral("127.0.0.2"));
    } else {
        sendDatagrams(QStringLiteral("127.0.0.3"), port, QByteArray("5\xAC", 2), kFlood);
        sendDatagrams(QStringLiteral("127.0.0.2"), port, QByteArray("6\xAC", 2), 1);
        QVERIFY(waitUntil([&] { return f.logLines().contains("Remote: 6"); }));
        QVERIFY(waitUntil([&] { return ignoredFrom(f, "127.0.0.3") == kFlood; }));
    }
    // Nothing of the flood reached the interpreter, and it cost a few lines.
    QVERIFY(!f.logLines().contains("Remote: 5"));
    const QStringList about = linesStartingWith(f, QStringLiteral("Ignored "));
    QVERIFY2(about.size() >= 2 && about.size() <= 4, qPrintable(about.join('\n')));
    QCOMPARE(about.first(), QStringLiteral("Ignored a message from 127.0.0.3 (not in Handsets)"));
}

void UserSettingsTest::handsetsWithoutAUsableEntryLetNobodyIn() {
    WindowFixture f(WindowFixture::shortOptions());
    f.settings->values["Handsets"] = "handset.lan, 127.1";
    const quint16 port = quint16(freePort());
    startOn(f, port);
    QCOMPARE(linesStartingWith(f, QStringLiteral("Setting Handsets")).size(), 3);
    QVERIFY(f.logLines().contains("Setting Handsets names no usable address: no handset is let "
                                  "in until it is corrected"));
    sendDatagrams(QStringLiteral("127.0.0.2"), port, QByteArray("6\xAC", 2), 1);
    QVERIFY(waitUntil([&] { return ignoredFrom(f, "127.0.0.2") == 1; }));
    QVERIFY(!f.logLines().contains("Remote: 6"));
}

void UserSettingsTest::doorWarningStandsWhenADatagramCanOpenIt_data() {
    QTest::addColumn<QStringList>("entries");   // key=value
    QTest::addColumn<QStringList>("protocols"); // the start's, then each Listen's
    QTest::addColumn<int>("warnings");
    QTest::addColumn<QString>("logged"); // the last line about the settings
    const QStringList udp{"UDP"};
    QTest::newRow("nothing set") << QStringList{} << udp << 1 << "";
    QTest::newRow("listening again") << QStringList{} << QStringList{"UDP", "UDP"} << 1 << "";
    QTest::newRow("TCP and back") << QStringList{} << QStringList{"UDP", "TCP", "UDP"} << 2 << "";
    QTest::newRow("TCP") << QStringList{} << QStringList{"TCP"} << 0 << "";
    QTest::newRow("trusted list, UDP")
        << QStringList{"ControllerHandsets=127.0.0.1"} << udp << 1 << "";
    QTest::newRow("TCP only") << QStringList{"DoorOverTcpOnly= True"} << udp << 0 << "";
    QTest::newRow("TCP only, unreadable")
        << QStringList{"DoorOverTcpOnly=yes"} << udp << 0
        << "Setting DoorOverTcpOnly \"yes\" is neither true nor false; the door opens only for "
           "keys over TCP, as with true";
    QTest::newRow("TCP only off") << QStringList{"DoorOverTcpOnly=false"} << udp << 1 << "";
    QTest::newRow("nobody trusted")
        << QStringList{"ControllerHandsets=handset.lan"} << udp << 0
        << "Setting ControllerHandsets names no usable address: no handset's key sends "
           "controller commands until it is corrected";
    QTest::newRow("nobody let in") << QStringList{"Handsets=,"} << udp << 0
                                   << "Setting Handsets names no usable address: no handset is "
                                      "let in until it is corrected";
}

// One line says so whenever a datagram can open the door, once for each
// time the listener comes to take datagrams.
void UserSettingsTest::doorWarningStandsWhenADatagramCanOpenIt() {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, protocols);
    QFETCH(int, warnings);
    QFETCH(QString, logged);
    WindowFixture f;
    for (const QString& entry : entries)
        f.settings->values[entry.section(u'=', 0, 0).toStdString()] =
            entry.section(u'=', 1).toStdString();
    f.settings->values["Protocol"] = protocols.first().toStdString();
    startOn(f, quint16(freePort()));
    for (const QString& protocol : protocols.mid(1)) {
        f.settings->values["Protocol"] = protocol.toStdString();
        runHandler(*f.window, "b_listen_Click");
    }
    const QStringList said = linesStartingWith(f, QStringLiteral("A UDP datagram can open"));
    QCOMPARE(said.size(), warnings);
    const QStringList settingLines = linesStartingWith(f, QStringLiteral("Setting "));
    QCOMPARE(settingLines.isEmpty() ? QString() : settingLines.last(), logged);
}

QTEST_MAIN(UserSettingsTest)
#include "test_usersettings.moc"
