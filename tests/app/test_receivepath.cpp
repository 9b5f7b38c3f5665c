#include "app/icons.h"
#include "app/traystuff.h"
#include "support/eventwait.h"
#include "support/iconpicture.h"
#include "support/windowfixture.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using namespace nuvok::test;

// The listener and the receive path: opening, decoding key messages, the
// busy icon and closing.
class ReceivePathTest : public QObject {
    Q_OBJECT

private slots:
    void protocolSettingChoosesTheListener_data();
    void protocolSettingChoosesTheListener();
    void keyMessagesAreLoggedAndDispatched_data();
    void keyMessagesAreLoggedAndDispatched();
    void busyIconShowsWhileAMessageIsHandled_data();
    void busyIconShowsWhileAMessageIsHandled();
    void tcpArrivalHandlesEveryMessageInOrder();
    void peerCloseLeavesTheListenerListening();
    void listenFailureIsLogged();
};

namespace {

void openUdp(WindowFixture& f) {
    f->handset()->listenPort = 0;
    runHandler(*f.window, "doListen");
    QCOMPARE(f->handset()->socket().State(), 1);
}

void sendDatagram(WindowFixture& f, const QByteArray& message) {
    QUdpSocket peer;
    peer.writeDatagram(message, QHostAddress::LocalHost,
                       quint16(f->handset()->socket().boundPort()));
}

} // namespace

void ReceivePathTest::protocolSettingChoosesTheListener_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("state");
    QTest::newRow("TCP") << "TCP" << 0 << 2;
    QTest::newRow("tcp") << "tcp" << 1 << 1;
    QTest::newRow("Tcp") << "Tcp" << 1 << 1;
    QTest::newRow("missing") << QString() << 1 << 1;
    QTest::newRow("UDP") << "UDP" << 1 << 1;
}

void ReceivePathTest::protocolSettingChoosesTheListener() {
    QFETCH(QString, stored);
    QFETCH(int, protocol);
    QFETCH(int, state);
    WindowFixture f;
    if (!stored.isNull())
        f.settings->values["Protocol"] = stored.toStdString();
    f->handset()->listenPort = 0;
    runHandler(*f.window, "doListen");
    QCOMPARE(f->handset()->socket().Protocol(), protocol);
    QCOMPARE(f->handset()->socket().State(), state);
}

void ReceivePathTest::keyMessagesAreLoggedAndDispatched_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QString>("logged"); // empty: nothing logged
    QTest::addColumn<bool>("dispatched");
    QTest::newRow("key 5") << QByteArray("5\xAC", 2) << "Remote: 5" << true;
    QTest::newRow("menu key 65") << QByteArray("A\xAF", 2) << "RemoteMenu:  65" << true;
    QTest::newRow("menu key 0") << QByteArray("\x00\xAF", 2) << "RemoteMenu:  0" << true;
    QTest::newRow("key 0 shown") << QByteArray("\x00\xAC", 2) << "Remote: \u2400" << true;
    QTest::newRow("key CR shown") << QByteArray("\r\xAC", 2) << "Remote: \u240D" << true;
    QTest::newRow("Windows-1252 key") << QByteArray("\x80\xAC", 2) << "Remote: \u20AC" << true;
    QTest::newRow("C1 key made visible") << QByteArray("\x9D\xAC", 2) << "Remote: <U+009D>" << true;
    QTest::newRow("rest ignored") << QByteArray("8\xAC\x01\x02", 4) << "Remote: 8" << true;
    QTest::newRow("kind 0") << QByteArray("5\x00", 2) << QString() << false;
    QTest::newRow("kind AD") << QByteArray("5\xAD", 2) << QString() << false;
}

void ReceivePathTest::keyMessagesAreLoggedAndDispatched() {
    QFETCH(QByteArray, message);
    QFETCH(QString, logged);
    QFETCH(bool, dispatched);
    WindowFixture f;
    openUdp(f);
    const QString before = f->logText();
    sendDatagram(f, message);
    // The key interpreter shows the mode after every key it is handed.
    const bool sawDispatch = waitUntil([&] { return f->session()->shownMode() != "mode"; }, 1000);
    QCOMPARE(sawDispatch, dispatched);
    const QString added = f->logText().mid(before.size());
    if (logged.isEmpty())
        QCOMPARE(added, QString());
    else
        QVERIFY2(added.startsWith("\r\n" + logged), qPrintable(added));
}

// The tray's picture changes at once; a shown window's picture follows in
// the same turn, in order (busy: tray first; idle: window first); a hidden
// window's is left alone.
void ReceivePathTest::busyIconShowsWhileAMessageIsHandled_data() {
    QTest::addColumn<bool>("shown");
    QTest::newRow("window hidden") << false;
    QTest::newRow("window shown") << true;
}

void ReceivePathTest::busyIconShowsWhileAMessageIsHandled() {
    QFETCH(bool, shown);
    WindowFixture f;
    f->tray().addTrayIcon();
    if (shown)
        f->show();
    openUdp(f);
    QStringList changes;
    const auto picture = [](const QIcon& icon) {
        const QImage image = pictureOf(icon);
        return image == pictureOf(icons::busy())   ? QStringLiteral("busy")
               : image == pictureOf(icons::idle()) ? QStringLiteral("idle")
                                                   : QStringLiteral("other");
    };
    connect(f.window.get(), &QWidget::windowIconChanged, this,
            [&](const QIcon& icon) { changes << "window " + picture(icon); });
    f.tray->iconSet = [&](const QIcon& icon) { changes << "tray " + picture(icon); };
    const QStringList expected =
        shown ? QStringList{"tray busy", "window busy", "window idle", "tray idle"}
              : QStringList{"tray busy", "tray idle"};
    const QString before = f->logText();
    sendDatagram(f, QByteArray("5", 1)); // one byte: the failure path
    QVERIFY(waitUntil([&] { return changes.size() >= expected.size(); }));
    QTest::qWait(20);
    QCOMPARE(changes, expected);
    QCOMPARE(picture(f->windowIcon()), QStringLiteral("idle"));
    const QStringList added = f->logText().mid(before.size()).split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(added.size(), 1);
    QVERIFY2(added.first().contains("1 byte"), qPrintable(added.first()));
    QCOMPARE(f->session()->shownMode(), QStringLiteral("mode"));

    changes.clear();
    sendDatagram(f, QByteArray());
    QVERIFY(waitUntil([&] { return changes.size() >= expected.size(); }));
    QCOMPARE(changes, expected);
    QVERIFY(f->logText().endsWith("two bytes, the key code and its kind"));
}

// Each pair of the stream is handled as a datagram is: its line, the
// interpreter, busy and idle.
void ReceivePathTest::tcpArrivalHandlesEveryMessageInOrder() {
    WindowFixture f;
    f.settings->values["Protocol"] = "TCP";
    f->handset()->listenPort = 0;
    runHandler(*f.window, "doListen");
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(f->handset()->socket().boundPort()));
    QVERIFY(waitUntil([&] { return f->handset()->socket().State() == 7; }));
    QSignalSpy busy(f->session(), &RemoteSession::busy);
    const QString before = f->logText();
    peer.write(QByteArray("\xEE\xAC"
                          "\x10\xAC"
                          "1",
                          5));
    QVERIFY(waitUntil([&] { return f->session()->shownMode() == "1"; }));
    QTest::qWait(100);
    QCOMPARE(f->logText().mid(before.size()),
             QStringLiteral("\r\nRemote: \u00ee\r\nbMenu 1\r\nRemote: \u2410\r\nMode:SetLeds"));
    QCOMPARE(busy.size(), 4); // busy and idle for each of the two keys
    peer.write(QByteArray("\xAC", 1));
    QVERIFY(waitUntil([&] { return f->logText().contains("\r\nRemote: 1"); }));
    QCOMPARE(busy.size(), 6);
}

// The handset may come back at any time: nobody has to press Listen at the PC.
void ReceivePathTest::peerCloseLeavesTheListenerListening() {
    WindowFixture f;
    f.settings->values["Protocol"] = "TCP";
    f->handset()->listenPort = float(freePort());
    runHandler(*f.window, "doListen");
    const quint16 port = quint16(f->handset()->listenPort);
    for (int round = 0; round < 2; ++round) {
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(waitUntil([&] { return f->handset()->socket().State() == 7; }));
        peer.disconnectFromHost();
        QVERIFY(waitUntil([&] { return f->handset()->socket().State() == 2; }));
        QCOMPARE(f.logLines().last(),
                 QStringLiteral("Handset 127.0.0.1 left: listening for it again"));
    }
}

void ReceivePathTest::listenFailureIsLogged() {
    QUdpSocket occupier;
    QVERIFY(occupier.bind(QHostAddress::AnyIPv4, 0));
    WindowFixture f;
    f->handset()->listenPort = occupier.localPort();
    runHandler(*f.window, "b_listen_Click");
    QCOMPARE(f->handset()->socket().State(), 0);
    const QString last = f.logLines().last();
    QVERIFY2(last.contains(QString::number(occupier.localPort())), qPrintable(last));
}

QTEST_MAIN(ReceivePathTest)
#include "test_receivepath.moc"
