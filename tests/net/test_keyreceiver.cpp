#include "net/keyreceiver.h"
#include "support/eventwait.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using nuvok::test::waitUntil;

namespace {

// What the receiver handed on, one entry per message.
QList<QByteArray> handedOn(const QSignalSpy& spy) {
    QList<QByteArray> messages;
    for (const QList<QVariant>& signal : spy)
        messages << signal.at(0).toByteArray();
    return messages;
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
};

void KeyReceiverTest::tcpStreamIsCutIntoKeyMessages_data() {
    QTest::addColumn<QList<QByteArray>>("writes"); // each one write, apart from the others
    QTest::addColumn<bool>("peerLeaves");
    QTest::addColumn<QList<QByteArray>>("messages");
    const QByteArray one("1\xAC"), two("2\xAC"), three("3\xAC");
    QTest::newRow("three keys in one write")
        << QList<QByteArray>{one + two + three} << false << QList<QByteArray>{one, two, three};
    QTest::newRow("one key in two writes")
        << QList<QByteArray>{"5", "\xAC"} << false << QList<QByteArray>{"5\xAC"};
    QTest::newRow("pairs across writes") << QList<QByteArray>{one + "2", "\xAC" + three} << false
                                         << QList<QByteArray>{one, two, three};
    QTest::newRow("odd byte waits")
        << QList<QByteArray>{one + "5"} << false << QList<QByteArray>{one};
    QTest::newRow("odd byte handed on alone when the peer leaves")
        << QList<QByteArray>{one + "5"} << true << QList<QByteArray>{one, "5"};
    QTest::newRow("a pair completed just before the peer leaves")
        << QList<QByteArray>{"5", "\xAC"} << true << QList<QByteArray>{"5\xAC"};
}

void KeyReceiverTest::tcpStreamIsCutIntoKeyMessages() {
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, peerLeaves);
    QFETCH(QList<QByteArray>, messages);
    KeyReceiver receiver;
    QSignalSpy spy(&receiver, &KeyReceiver::message);
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
        QVERIFY(waitUntil([&] { return receiver.socket().State() == SocketComponent::sckClosed; }));
    }
    QVERIFY(waitUntil([&] { return spy.size() >= messages.size(); }));
    QTest::qWait(kApartMs); // and nothing more
    QCOMPARE(handedOn(spy), messages);
}

// A datagram is one message however long: the decoder says what is wrong
// with zero or one byte, and ignores what follows the first two.
void KeyReceiverTest::eachDatagramIsOneMessageAsItStands() {
    KeyReceiver receiver;
    QSignalSpy spy(&receiver, &KeyReceiver::message);
    receiver.open(0, SocketComponent::sckUDPProtocol);
    const QList<QByteArray> datagrams{QByteArray(), "5",
                                      "1\xAC"
                                      "2\xAC",
                                      "7\xAC"};
    QUdpSocket peer;
    for (const QByteArray& datagram : datagrams)
        peer.writeDatagram(datagram, QHostAddress::LocalHost,
                           quint16(receiver.socket().boundPort()));
    QVERIFY(waitUntil([&] { return spy.size() >= datagrams.size(); }));
    QCOMPARE(handedOn(spy), datagrams);
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

QTEST_GUILESS_MAIN(KeyReceiverTest)
#include "test_keyreceiver.moc"
