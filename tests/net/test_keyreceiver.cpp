#include "net/keepalive.h"
#include "net/keyreceiver.h"
#include "support/eventwait.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using nuvok::test::waitUntil;

namespace {

// What the receiver handed on, one entry per message.
QList<QByteArray> handedOn(const QSignalSpy& spy) {
    QList<QByteArray> messages;
    for (const QList<QVariant>& signal : spy)
        messages << signal.at(0).toByteArray();
    return messages;
}

// Who sent each message, and how: "127.0.0.2 udp".
QStringList sendersOf(const QSignalSpy& spy) {
    QStringList senders;
    for (const QList<QVariant>& signal : spy)
        senders << signal.at(1).value<QHostAddress>().toString() +
                       (signal.at(2).toBool() ? QStringLiteral(" tcp") : QStringLiteral(" udp"));
    return senders;
}

// Long enough for bytes written apart to arrive as reads of their own.
constexpr int kApartMs = 100;

} // namespace

// The receive path on its own: how the bytes of TCP connections and UDP
// datagrams become key messages.
class KeyReceiverTest : public QObject {
    Q_OBJECT

private slots:
    void tcpStreamIsCutIntoKeyMessages_data();
    void tcpStreamIsCutIntoKeyMessages();
    void eachDatagramIsOneMessageAsItStands();
    void anOddByteDoesNotOutliveItsConnection();
    void theServedConnectionIsWatchedWhileSilent();
};

void KeyReceiverTest::tcpStreamIsCutIntoKeyMessages_data() {
    QTest::addColumn<QList<QByteArray>>("writes"); // each one write, apart from the others
    QTest::addColumn<bool>("peerLeaves");
    QTest::addColumn<QList<QByteArray>>("messages");
    QTest::addColumn<QString>("leaveLine"); // when the peer leaves
    const QString left = QStringLiteral("Handset 127.0.0.1 left: listening for it again");
    const QString cutShort = QStringLiteral(
        "Handset 127.0.0.1 left in the middle of a key, which is dropped: listening for it again");
    const QByteArray one("1\xAC"), two("2\xAC"), three("3\xAC");
    QTest::newRow("three keys in one write") << QList<QByteArray>{one + two + three} << false
                                             << QList<QByteArray>{one, two, three} << QString();
    QTest::newRow("one key in two writes")
        << QList<QByteArray>{"5", "\xAC"} << false << QList<QByteArray>{"5\xAC"} << QString();
    QTest::newRow("pairs across writes") << QList<QByteArray>{one + "2", "\xAC" + three} << false
                                         << QList<QByteArray>{one, two, three} << QString();
    QTest::newRow("odd byte waits")
        << QList<QByteArray>{one + "5"} << false << QList<QByteArray>{one} << QString();
    QTest::newRow("peer leaves in the middle of a key")
        << QList<QByteArray>{one + "5"} << true << QList<QByteArray>{one} << cutShort;
    QTest::newRow("a pair completed just before the peer leaves")
        << QList<QByteArray>{"5", "\xAC"} << true << QList<QByteArray>{"5\xAC"} << left;
}

void KeyReceiverTest::tcpStreamIsCutIntoKeyMessages() {
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, peerLeaves);
    QFETCH(QList<QByteArray>, messages);
    QFETCH(QString, leaveLine);
    KeyReceiver receiver;
    QSignalSpy spy(&receiver, &KeyReceiver::message);
    QSignalSpy lines(&receiver, &KeyReceiver::logLine);
    receiver.open(0, SocketComponent::sckTCPProtocol);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(receiver.socket().boundPort()));
    QVERIFY(waitUntil([&] { return receiver.socket().State() == SocketComponent::sckConnected; }));
    for (const QByteArray& write : writes) {
        peer.write(write);
        QVERIFY(peer.waitForBytesWritten(1000));
        QTest::qWait(kApartMs);
    }
    if (peerLeaves) {
        peer.disconnectFromHost();
        // Listening again at once, for the next peer.
        QVERIFY(
            waitUntil([&] { return receiver.socket().State() == SocketComponent::sckListening; }));
    }
    QVERIFY(waitUntil([&] { return spy.size() >= messages.size(); }));
    QTest::qWait(kApartMs); // and nothing more
    QCOMPARE(handedOn(spy), messages);
    QCOMPARE(sendersOf(spy), QStringList(messages.size(), QStringLiteral("127.0.0.1 tcp")));
    QStringList said;
    for (const QList<QVariant>& line : lines)
        said << line.at(0).toString();
    QCOMPARE(said, leaveLine.isEmpty() ? QStringList() : QStringList{leaveLine});
}

// A datagram is one message however long: the decoder says what is wrong
// with zero or one byte, and ignores what follows the first two. Each one
// carries its own sender.
void KeyReceiverTest::eachDatagramIsOneMessageAsItStands() {
    KeyReceiver receiver;
    QSignalSpy spy(&receiver, &KeyReceiver::message);
    receiver.open(0, SocketComponent::sckUDPProtocol);
    const QList<QByteArray> datagrams{QByteArray(), "5",
                                      "1\xAC"
                                      "2\xAC",
                                      "7\xAC"};
    QUdpSocket first, second;
    QVERIFY(second.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    QStringList senders;
    for (const QByteArray& datagram : datagrams) {
        QUdpSocket& peer = senders.size() % 2 ? second : first;
        senders << (senders.size() % 2 ? QStringLiteral("127.0.0.2 udp")
                                       : QStringLiteral("127.0.0.1 udp"));
        peer.writeDatagram(datagram, QHostAddress::LocalHost,
                           quint16(receiver.socket().boundPort()));
        QVERIFY(waitUntil([&] { return spy.size() >= senders.size(); }));
    }
    QCOMPARE(handedOn(spy), datagrams);
    QCOMPARE(sendersOf(spy), senders);
}

// Listen pressed while a byte waits for its partner: the byte goes with its
// connection, and the next peer's stream starts afresh.
void KeyReceiverTest::anOddByteDoesNotOutliveItsConnection() {
    KeyReceiver receiver;
    QSignalSpy spy(&receiver, &KeyReceiver::message);
    receiver.open(0, SocketComponent::sckTCPProtocol);
    const quint16 port = quint16(receiver.socket().boundPort());
    {
        QTcpSocket first;
        first.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(waitUntil([&] { return receiver.socket().State() == 7; }));
        first.write("9");
        QVERIFY(first.waitForBytesWritten(1000));
        QTest::qWait(kApartMs);
    }
    receiver.open(port, SocketComponent::sckTCPProtocol); // Listen pressed
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(waitUntil([&] { return receiver.socket().State() == 7; }));
    second.write("\xAC"
                 "4\xAC");
    QVERIFY(waitUntil([&] { return !spy.isEmpty(); }));
    QTest::qWait(kApartMs);
    QCOMPARE(handedOn(spy), (QList<QByteArray>{"\xAC"
                                               "4"}));
}

// A handset that loses its power or its network never closes its connection:
// the system is asked to probe it, so that its place comes free within about
// half a minute.
void KeyReceiverTest::theServedConnectionIsWatchedWhileSilent() {
    KeyReceiver receiver;
    receiver.open(0, SocketComponent::sckTCPProtocol);
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(receiver.socket().boundPort()));
    QVERIFY(waitUntil([&] { return receiver.socket().State() == SocketComponent::sckConnected; }));
    const auto option = [&](int level, int name) {
        int value = -1;
        socklen_t size = sizeof value;
        return getsockopt(int(receiver.socket().peerDescriptor()), level, name, &value, &size) == 0
                   ? value
                   : -1;
    };
    QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    const int idle = option(IPPROTO_TCP, TCP_KEEPIDLE);
    const int interval = option(IPPROTO_TCP, TCP_KEEPINTVL);
    const int probes = option(IPPROTO_TCP, TCP_KEEPCNT);
    QVERIFY2(idle > 0 && interval > 0 && probes > 0 && idle + interval * probes <= 45,
             qPrintable(QStringLiteral("idle %1 s, every %2 s, %3 probes")
                            .arg(idle)
                            .arg(interval)
                            .arg(probes)));
}

QTEST_GUILESS_MAIN(KeyReceiverTest)
#include "test_keyreceiver.moc"
