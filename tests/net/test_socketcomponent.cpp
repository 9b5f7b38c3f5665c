#include "common/failure.h"
#include "net/socketcomponent.h"
#include "support/eventwait.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

using nuvok::test::waitUntil;

class SocketComponentTest : public QObject {
    Q_OBJECT

private slots:
    void udpArrivalIsDeliveredNestedInsideAWaitingHandler();
    void tcpArrivalIsDeliveredNestedInsideAWaitingHandler();
    void acceptTakesTheRequestAfterTheListenerIsClosed();
    void peerCloseArrivesAfterItsData();
    void emptyDatagramIsAnArrival();
    void everyDatagramIsOneArrivalOfItsOwn();
    void aBurstPastTheInboxIsToldOnceWithItsCount();
    void methodsFailWithADescription_data();
    void methodsFailWithADescription();
    void portInUseIsReported();
};

namespace {

// Opens a UDP component on a free loopback port.
int bindUdp(SocketComponent& socket) {
    socket.setProtocol(SocketComponent::sckUDPProtocol);
    socket.setLocalPort(0);
    socket.Bind();
    return socket.boundPort();
}

} // namespace

void SocketComponentTest::udpArrivalIsDeliveredNestedInsideAWaitingHandler() {
    SocketComponent listener;
    const int port = bindUdp(listener);
    QCOMPARE(listener.State(), int(SocketComponent::sckOpen));

    QUdpSocket peer;
    QStringList seen;
    int depth = 0;
    int maxDepth = 0;
    connect(&listener, &SocketComponent::DataArrival, this, [&](int) {
        ++depth;
        maxDepth = qMax(maxDepth, depth);
        const QByteArray data = listener.GetData();
        seen << QString::fromLatin1(data);
        if (data == "first") {
            peer.writeDatagram("second", QHostAddress::LocalHost, quint16(port));
            // The handler waits; the second datagram must reach us meanwhile.
            waitUntil([&] { return seen.size() == 2; }, 5000);
        }
        --depth;
    });
    peer.writeDatagram("first", QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return seen.size() == 2 && depth == 0; }));
    QCOMPARE(seen, (QStringList{"first", "second"}));
    QCOMPARE(maxDepth, 2);
}

void SocketComponentTest::tcpArrivalIsDeliveredNestedInsideAWaitingHandler() {
    SocketComponent listener;
    listener.setProtocol(SocketComponent::sckTCPProtocol);
    listener.setLocalPort(0);
    listener.Listen();
    QCOMPARE(listener.State(), int(SocketComponent::sckListening));
    const int port = listener.boundPort();
    connect(&listener, &SocketComponent::ConnectionRequest, this, [&](int id) {
        listener.Close();
        listener.Accept(id);
    });

    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return listener.State() == SocketComponent::sckConnected; }));
    QCOMPARE(listener.RemoteHostIP(), QStringLiteral("127.0.0.1"));
    QCOMPARE(listener.RemotePort(), int(peer.localPort()));

    QStringList seen;
    int depth = 0;
    int maxDepth = 0;
    connect(&listener, &SocketComponent::DataArrival, this, [&](int) {
        ++depth;
        maxDepth = qMax(maxDepth, depth);
        const QByteArray data = listener.GetData();
        seen << QString::fromLatin1(data);
        if (data == "a") {
            peer.write("b");
            waitUntil([&] { return seen.size() == 2; }, 5000);
        }
        --depth;
    });
    peer.write("a");
    QVERIFY(waitUntil([&] { return seen.size() == 2 && depth == 0; }));
    QCOMPARE(seen, (QStringList{"a", "b"}));
    QCOMPARE(maxDepth, 2);
}

void SocketComponentTest::acceptTakesTheRequestAfterTheListenerIsClosed() {
    SocketComponent listener;
    listener.setLocalPort(0);
    listener.Listen();
    const int port = listener.boundPort();
    int requests = 0;
    connect(&listener, &SocketComponent::ConnectionRequest, this, [&](int id) {
        ++requests;
        listener.Close();
        listener.Accept(id);
    });
    QTcpSocket first;
    first.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return listener.State() == SocketComponent::sckConnected; }));

    // Only one peer: the listening socket is gone, so a second client is refused.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return second.state() == QAbstractSocket::UnconnectedState; }));
    QCOMPARE(requests, 1);
    QCOMPARE(first.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(listener.State(), int(SocketComponent::sckConnected));
}

void SocketComponentTest::peerCloseArrivesAfterItsData() {
    SocketComponent listener;
    listener.setLocalPort(0);
    listener.Listen();
    const int port = listener.boundPort();
    QStringList events;
    connect(&listener, &SocketComponent::ConnectionRequest, this, [&](int id) {
        listener.Close();
        listener.Accept(id);
    });
    connect(&listener, &SocketComponent::DataArrival, this,
            [&](int) { events << "data:" + QString::fromLatin1(listener.GetData()); });
    connect(&listener, &SocketComponent::CloseEvent, this, [&] {
        events << QStringLiteral("close state %1").arg(listener.State());
        listener.Close();
    });
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(peer.waitForConnected(5000));
    peer.write("bye");
    peer.flush();
    peer.disconnectFromHost();
    QVERIFY(waitUntil([&] { return events.size() == 2; }));
    QCOMPARE(events, (QStringList{"data:bye", "close state 8"}));
    QCOMPARE(listener.State(), int(SocketComponent::sckClosed));
}

void SocketComponentTest::emptyDatagramIsAnArrival() {
    SocketComponent listener;
    const int port = bindUdp(listener);
    int arrivals = 0;
    QByteArray data("unset");
    connect(&listener, &SocketComponent::DataArrival, this, [&](int bytes) {
        ++arrivals;
        QCOMPARE(bytes, 0);
        data = listener.GetData();
    });
    QUdpSocket peer;
    peer.writeDatagram(QByteArray(), QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return arrivals == 1; }));
    QVERIFY(data.isEmpty());
}

void SocketComponentTest::everyDatagramIsOneArrivalOfItsOwn() {
    SocketComponent listener;
    const int port = bindUdp(listener);
    QList<QByteArray> seen;
    connect(&listener, &SocketComponent::DataArrival, this, [&](int bytes) {
        const QByteArray data = listener.GetData();
        QCOMPARE(bytes, data.size());
        seen << data;
    });
    QUdpSocket peer;
    // One at a time, each after the previous one was read: the way a person
    // presses keys. An empty datagram in between must not silence the rest.
    const QList<QByteArray> single{"1\xAC", QByteArray(), "2\xAC", "3\xAC"};
    for (const QByteArray& message : single) {
        const qsizetype before = seen.size();
        peer.writeDatagram(message, QHostAddress::LocalHost, quint16(port));
        QVERIFY(waitUntil([&] { return seen.size() == before + 1; }));
    }
    QCOMPARE(seen, single);

    // A burst sent before the program gets to read any of it.
    seen.clear();
    QList<QByteArray> burst;
    for (int i = 0; i < 50; ++i)
        burst << QByteArray::number(i);
    for (const QByteArray& message : burst)
        peer.writeDatagram(message, QHostAddress::LocalHost, quint16(port));
    QVERIFY(waitUntil([&] { return seen.size() == burst.size(); }));
    QCOMPARE(seen, burst);
    QCOMPARE(listener.droppedDatagrams(), quint64(0));
}

// Nobody reads: the inbox fills, and what it drops is told once, counted.
void SocketComponentTest::aBurstPastTheInboxIsToldOnceWithItsCount() {
    SocketComponent listener;
    const int port = bindUdp(listener);
    QSignalSpy told(&listener, &SocketComponent::DatagramsDropped);
    QUdpSocket peer;
    for (int batch = 0; batch < 50; ++batch) {
        for (int i = 0; i < 100; ++i) // within the system's buffer
            peer.writeDatagram("5\xAC", QHostAddress::LocalHost, quint16(port));
        QTest::qWait(5);
    }
    QVERIFY(waitUntil([&] { return told.size() == 1; }, 3000));
    QVERIFY(listener.droppedDatagrams() > 0);
    QCOMPARE(told.first().first().toULongLong(), listener.droppedDatagrams());
}

void SocketComponentTest::methodsFailWithADescription_data() {
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("operation");
    QTest::newRow("listen on UDP") << 1 << 0 << "listen";
    QTest::newRow("bind on TCP") << 0 << 0 << "bind";
    QTest::newRow("listen on port 70000") << 0 << 70000 << "listen";
    QTest::newRow("bind on port -1") << 1 << -1 << "bind";
    QTest::newRow("accept an unknown request") << 0 << 0 << "accept";
}

void SocketComponentTest::methodsFailWithADescription() {
    QFETCH(int, protocol);
    QFETCH(int, port);
    QFETCH(QString, operation);
    SocketComponent socket;
    socket.setProtocol(protocol);
    socket.setLocalPort(port);
    try {
        if (operation == "listen")
            socket.Listen();
        else if (operation == "bind")
            socket.Bind();
        else
            socket.Accept(987654);
        QFAIL("no failure raised");
    } catch (const nuvok::Failure& failure) {
        QVERIFY2(failure.description().size() > 15, failure.what());
    }
    QCOMPARE(socket.State(), int(SocketComponent::sckClosed));
}

void SocketComponentTest::portInUseIsReported() {
    SocketComponent first;
    const int port = bindUdp(first);
    SocketComponent second;
    second.setProtocol(SocketComponent::sckUDPProtocol);
    second.setLocalPort(port);
    try {
        second.Bind();
        QFAIL("a second bind on the same port succeeded");
    } catch (const nuvok::Failure& failure) {
        QVERIFY2(QString::fromStdString(failure.description()).contains(QString::number(port)),
                 failure.what());
    }
    QCOMPARE(second.State(), int(SocketComponent::sckClosed));
}

QTEST_GUILESS_MAIN(SocketComponentTest)
#include "test_socketcomponent.moc"
