#include "app/icons.h"
#include "app/traystuff.h"
#include "app/twips.h"
#include "common/numtext.h"
#include "support/eventwait.h"
#include "support/iconpicture.h"
#include "support/windowfixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace nuvok::test;

// Start-up from the command line and the stored settings, shutdown, and the
// help and about texts.
class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void commandLinePort_data();
    void commandLinePort();
    void storedPort_data();
    void storedPort();
    void storedProtocol_data();
    void storedProtocol();
    void normalStartHidesTheWindowAndSetsTheTitles();
    void withoutANotificationAreaTheWindowStaysReachable_data();
    void withoutANotificationAreaTheWindowStaysReachable();
    void portInUseIsLoggedAndTheWindowStaysReachable_data();
    void portInUseIsLoggedAndTheWindowStaysReachable();
    void closeDuringTheStartEndsIt();
    void closingMinimisesAndClosesTheListener();
    void usageCardLineByLine();
    void aboutBoxLineByLine();
};

void StartupTest::commandLinePort_data() {
    QTest::addColumn<QString>("format"); // %1 is a free port
    QTest::addColumn<bool>("portIsZero");
    QTest::newRow("upper case") << "-PORT %1" << false;
    QTest::newRow("no blank") << "-port%1" << false;
    QTest::newRow("first of two") << "-port %1 -port 7" << false;
    QTest::newRow("after -min") << "-min -Port %1" << false;
    QTest::newRow("alone") << "-port" << true;
    QTest::newRow("equals sign") << "-port=%1" << true;
    QTest::newRow("not a number") << "-port x%1" << true;
}

void StartupTest::commandLinePort() {
    QFETCH(QString, format);
    QFETCH(bool, portIsZero);
    WindowFixture f;
    f.settings->values["portNum"] = "1";
    const quint16 free = freePort();
    f->Form_Load(format.arg(free).toStdString());
    const float expected = portIsZero ? 0.0f : float(free);
    QCOMPARE(f->handset()->listenPort, expected);
    QVERIFY(f.logLines().contains("Port: " + QString::number(expected)));
    QCOMPARE(f->handset()->socket().State(), 1);
}

void StartupTest::storedPort_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<float>("port");
    QTest::newRow("missing") << QString() << 65530.0f;
    QTest::newRow("0") << "0" << 65530.0f;
    QTest::newRow("65536") << "65536" << 65530.0f;
    QTest::newRow("abc") << "abc" << 65530.0f;
    QTest::newRow("1") << "1" << 1.0f;
    QTest::newRow("65535") << "65535" << 65535.0f;
    QTest::newRow("fraction") << "8080.5" << 8080.5f;
}

void StartupTest::storedPort() {
    QFETCH(QString, stored);
    QFETCH(float, port);
    WindowFixture f;
    if (!stored.isNull())
        f.settings->values["portNum"] = stored.toStdString();
    f->Form_Load("");
    QCOMPARE(f->handset()->listenPort, port);
    QCOMPARE(f->handset()->socket().LocalPort(), nuvok::roundHalfEvenToInt32(port));
    for (const QString& line : f.logLines())
        QVERIFY2(!line.startsWith("Port:"), qPrintable(line));
}

void StartupTest::storedProtocol_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("protocol");
    QTest::newRow("TCP") << "TCP" << 0;
    QTest::newRow("tcp") << "tcp" << 1;
    QTest::newRow("UDP") << "UDP" << 1;
    QTest::newRow("missing") << QString() << 1;
}

void StartupTest::storedProtocol() {
    QFETCH(QString, stored);
    QFETCH(int, protocol);
    WindowFixture f;
    if (!stored.isNull())
        f.settings->values["Protocol"] = stored.toStdString();
    f->Form_Load(QStringLiteral("-port %1").arg(freePort()).toStdString());
    QCOMPARE(f->handset()->socket().Protocol(), protocol);
}

void StartupTest::normalStartHidesTheWindowAndSetsTheTitles() {
    WindowFixture f;
    f->Form_Load(QStringLiteral("-port %1").arg(freePort()).toStdString());
    QVERIFY(!f->isVisible());
    // Put away once the event loop runs: start-up handles no events itself.
    QVERIFY(waitUntil([&] { return bool(f->tray().windowState() & Qt::WindowMinimized); }));
    QVERIFY(!f->isVisible());
    QCOMPARE(f->session()->strAudioTitle, QStringLiteral("Winamp"));
    QCOMPARE(f->session()->strVideoTitle, QStringLiteral("VLC"));
    QCOMPARE(twips::outerWidth(*f.window), 4680);
    QVERIFY(f.tray->shown);
    QCOMPARE(pictureOf(f.tray->icon), pictureOf(icons::idle()));
}

void StartupTest::withoutANotificationAreaTheWindowStaysReachable_data() {
    QTest::addColumn<bool>("minimiseReported");
    QTest::newRow("minimised on the taskbar") << true;
    // A Wayland desktop may have no way to give a minimised window back.
    QTest::newRow("left open") << false;
}

void StartupTest::withoutANotificationAreaTheWindowStaysReachable() {
    QFETCH(bool, minimiseReported);
    WindowFixture f;
    f.tray->hasArea = false;
    f.tray->reportsMinimise = minimiseReported;
    f->Form_Load(QStringLiteral("-port %1").arg(freePort()).toStdString());
    QVERIFY(f->isVisible());
    QCOMPARE(bool(f->windowState() & Qt::WindowMinimized), minimiseReported);
    QCOMPARE(bool(f->tray().windowState() & Qt::WindowMinimized), minimiseReported);
    QCOMPARE(f->handset()->socket().State(), 1);
}

void StartupTest::portInUseIsLoggedAndTheWindowStaysReachable_data() {
    QTest::addColumn<bool>("hasArea");
    QTest::newRow("notification area") << true;
    QTest::newRow("no notification area") << false;
}

void StartupTest::portInUseIsLoggedAndTheWindowStaysReachable() {
    QFETCH(bool, hasArea);
    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    WindowFixture f;
    f.tray->hasArea = hasArea;
    f.sessionStart->stored = true;
    f->Form_Load(QStringLiteral("-port %1").arg(occupier.localPort()).toStdString());
    const QStringList lines = f.logLines();
    QCOMPARE(lines.filter(QString::number(occupier.localPort())).size(), 1);
    // The failed opening ends the listener's steps before the port is logged.
    for (const QString& line : lines)
        QVERIFY2(!line.startsWith("Port:"), qPrintable(line));
    QCOMPARE(f->handset()->socket().State(), 0);
    // Hidden in the icon, or minimised on the taskbar: either way reachable.
    QVERIFY(waitUntil([&] { return bool(f->tray().windowState() & Qt::WindowMinimized); }));
    QCOMPARE(f->isVisible(), !hasArea);
    // What does not need the listener is ready for another port.
    QCOMPARE(f->session()->strAudioTitle, QStringLiteral("Winamp"));
    QVERIFY(f->session()->volume());
}

void StartupTest::closeDuringTheStartEndsIt() {
    WindowFixture f;
    QSignalSpy unloaded(f.window.get(), &F_NUVOKrc::unloaded);
    // Asked for before start-up; start-up handles no events itself, so the
    // close comes once the event loop runs, to a window that was never shown.
    QTimer::singleShot(0, f.window.get(), [&f] { f->close(); });
    f->Form_Load(QStringLiteral("-port %1").arg(freePort()).toStdString());
    QCOMPARE(unloaded.size(), 0);
    QVERIFY(waitUntil([&] { return unloaded.size() == 1; }));
    QVERIFY(!f->isVisible());
    QCOMPARE(f->handset()->socket().State(), 0);
    QVERIFY(!f.tray->shown);
}

void StartupTest::closingMinimisesAndClosesTheListener() {
    WindowFixture f;
    f->Form_Load(QStringLiteral("-port %1").arg(freePort()).toStdString());
    f->showNormal();
    QSignalSpy unloaded(f.window.get(), &F_NUVOKrc::unloaded);
    QVERIFY(f->close());
    QCOMPARE(unloaded.size(), 1);
    QCOMPARE(f->handset()->socket().State(), 0);
    // Minimised into the notification area, whose icon is then taken away.
    QVERIFY(!f->isVisible());
    QVERIFY(!f.tray->shown);
}

void StartupTest::usageCardLineByLine() {
    WindowFixture f;
    runHandler(*f.window, "m_help_Click");
    QCOMPARE(f.dialogs->messages.size(), 1);
    QCOMPARE(f.dialogs->messages[0].title, QStringLiteral("Usage Info"));
    const QString text = f.dialogs->messages[0].text;
    QVERIFY(!text.endsWith("\r\n"));
    QVERIFY(!text.contains(QRegularExpression("[^\r]\n")));
    const QStringList lines = text.split("\r\n");
    QCOMPARE(lines.size(), 18);
    for (int blank : {2, 6, 10, 15, 17})
        QVERIFY2(lines[blank - 1].isEmpty(), qPrintable(QString::number(blank)));
    QCOMPARE(lines[0], QStringLiteral("NUVOK RemoteControl V2.1"));
    QCOMPARE(lines[3], QStringLiteral(" 1-8: Led"));
    QCOMPARE(lines[10], QStringLiteral("Menu + Up:   Audio-Control (Winamp)"));
    QCOMPARE(lines[12], QStringLiteral(" 4/6: [Z]/[B] Last/Next Song"));
    QCOMPARE(lines[15], QStringLiteral("99: DoorOpener"));
    QVERIFY(lines[17].startsWith("by ") && lines[17].size() > 3);
}

void StartupTest::aboutBoxLineByLine() {
    WindowFixture f;
    runHandler(*f.window, "m_info_Click");
    QCOMPARE(f.dialogs->messages.size(), 1);
    QCOMPARE(f.dialogs->messages[0].title, QStringLiteral("Info"));
    const QStringList lines = f.dialogs->messages[0].text.split("\r\n");
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("NUVOK RemoteControl V2.1"));
    QCOMPARE(lines[1], QStringLiteral("Built 20091223"));
    QVERIFY(lines[2].startsWith("by "));
}

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
