// The web remote on loopback, reached as a browser, another site or a
// guesser would reach it: plain HTTP requests and WebSocket frames by hand.

#include "support/eventwait.h"
#include "support/memorysettings.h"
#include "support/webclient.h"
#include "web/phoneinput.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

using nuvok::test::waitUntil;
using Client = nuvok::test::WebClient;

namespace {

QJsonObject pairMessage(const QString& secret) {
    return {{QStringLiteral("type"), QStringLiteral("pair")},
            {QStringLiteral("secret"), secret},
            {QStringLiteral("name"), QStringLiteral("Test phone")}};
}
QJsonObject keyMessage(int code, int seq) {
    return {{QStringLiteral("type"), QStringLiteral("key")},
            {QStringLiteral("code"), code},
            {QStringLiteral("seq"), seq}};
}

} // namespace

class WebRemoteTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_phone.reset(); }
    void aRequestFromAnotherSiteGetsNothing_data();
    void aRequestFromAnotherSiteGetsNothing();
    void aPhonePairsOnceAndItsKeysActOnce();
    void guessesAndFloodsAreBounded();

private:
    QString secretOf(const QString& link) const {
        return link.section(QStringLiteral("#pair="), 1);
    }

    nuvok::test::MemorySettings m_store;
    std::unique_ptr<PhoneBook> m_book;
    std::unique_ptr<PhoneInput> m_phone;
    qint64 m_nowMs = 0;
    quint16 m_port = 0;
};

void WebRemoteTest::init() {
    m_store = {};
    m_nowMs = 0;
    m_book = std::make_unique<PhoneBook>(&m_store);
    PhoneInput::Limits limits;
    limits.authMs = 300;
    limits.server.requestMs = 300;
    limits.keysPerSecond = 20;
    limits.clockMs = [this] { return m_nowMs; };
    m_phone = std::make_unique<PhoneInput>(m_book.get(), limits, nullptr);
    m_phone->setServing(true, 0);
    m_phone->start();
    m_port = m_phone->server()->port();
    QVERIFY(m_port != 0);
}

void WebRemoteTest::aRequestFromAnotherSiteGetsNothing_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QByteArray>("status");
    const QByteArray upgrade =
        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: "
        "13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";
    QTest::newRow("the page") << QByteArray("GET / HTTP/1.1\r\nHost: HOST\r\n")
                              << QByteArray("200");
    QTest::newRow("a name pointed here")
        << QByteArray("GET / HTTP/1.1\r\nHost: evil.example:PORT\r\n") << QByteArray("403");
    QTest::newRow("a forwarded host") << QByteArray("GET / HTTP/1.1\r\nHost: evil.example:PORT\r\n"
                                                    "X-Forwarded-Host: HOST\r\n")
                                      << QByteArray("403");
    QTest::newRow("two hosts") << QByteArray("GET / HTTP/1.1\r\nHost: HOST\r\nHost: HOST\r\n")
                               << QByteArray("403");
    QTest::newRow("no host") << QByteArray("GET / HTTP/1.1\r\n") << QByteArray("403");
    QTest::newRow("a post") << QByteArray("POST / HTTP/1.1\r\nHost: HOST\r\n") << QByteArray("405");
    QTest::newRow("another path") << QByteArray("GET /../etc/passwd HTTP/1.1\r\nHost: HOST\r\n")
                                  << QByteArray("404");
    QTest::newRow("a huge head") << "GET / HTTP/1.1\r\nHost: HOST\r\nX: " + QByteArray(9000, 'a') +
                                        "\r\n"
                                 << QByteArray("431");
    QTest::newRow("a socket without origin")
        << "GET /ws HTTP/1.1\r\nHost: HOST\r\n" + upgrade << QByteArray("403");
    QTest::newRow("a socket from another site")
        << "GET /ws HTTP/1.1\r\nHost: HOST\r\nOrigin: http://evil.example\r\n" + upgrade
        << QByteArray("403");
    QTest::newRow("a socket of another port")
        << "GET /ws HTTP/1.1\r\nHost: HOST\r\nOrigin: http://127.0.0.1:1\r\n" + upgrade
        << QByteArray("403");
}

void WebRemoteTest::aRequestFromAnotherSiteGetsNothing() {
    QFETCH(QByteArray, lines);
    QFETCH(QByteArray, status);
    Client client(m_port);
    lines.replace("HOST", client.host().toLatin1()).replace("PORT", QByteArray::number(m_port));
    const QByteArray head = client.request(lines);
    QVERIFY2(head.startsWith("HTTP/1.1 " + status), head.constData());
    // Every answer keeps the page out of frames and other sites' reach.
    for (const char* field : {"Content-Security-Policy: default-src 'self'; connect-src ",
                              "frame-ancestors 'none'", "X-Frame-Options: DENY",
                              "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer"})
        QVERIFY2(head.contains(field), field);
    QVERIFY(!head.contains("Set-Cookie"));
    if (status == "200")
        QVERIFY(head.contains("connect-src ws://" + client.host().toLatin1() + ";"));
}

void WebRemoteTest::aPhonePairsOnceAndItsKeysActOnce() {
    QSignalSpy arrivals(m_phone.get(), &KeyInput::arrived);
    const QStringList links = m_phone->pairingLinks();
    QVERIFY(!links.isEmpty());
    Client phone(m_port);
    QVERIFY(phone.open());
    phone.send(pairMessage(secretOf(links.first())));
    const QJsonObject paired = phone.next();
    QCOMPARE(paired.value(QStringLiteral("type")).toString(), QStringLiteral("paired"));
    const QString token = paired.value(QStringLiteral("token")).toString();
    QCOMPARE(token.size(), 64);
    QCOMPARE(phone.next().value(QStringLiteral("type")).toString(), QStringLiteral("state"));
    // The settings keep a hash, never the token.
    QCOMPARE(m_store.sections["WebDevices"]["1.Name"], std::string("Test phone"));
    QVERIFY(m_store.sections["WebDevices"]["1.TokenHash"] != token.toStdString());

    phone.send(keyMessage('5', 1));
    phone.send(keyMessage('5', 1)); // sent again after a reconnection
    phone.send(keyMessage(nuvok::kKeyMenu, 2));
    QVERIFY(waitUntil([&] { return arrivals.size() == 2; }));
    QTest::qWait(50);
    QCOMPARE(arrivals.size(), 2);
    const auto first = arrivals.at(0).at(0).value<KeyArrival>();
    QCOMPARE(first.line, QStringLiteral("Remote: 5"));
    QCOMPARE(arrivals.at(1).at(0).value<KeyArrival>().line, QStringLiteral("RemoteMenu:  238"));
    QVERIFY(first.origin.identity == (nuvok::SenderIdentity{nuvok::InputKind::Phone, "1"}));
    QVERIFY(!first.origin.noController.empty()); // no tick: no LEDs, no door
    QVERIFY(m_phone->forgedSenderWarning().isEmpty());

    // The code was used up; the token opens the remote again, with the tick.
    Client second(m_port);
    QVERIFY(second.open());
    second.send(pairMessage(secretOf(links.first())));
    QCOMPARE(second.closeCode(), 4001);
    m_book->setMayControl(1, true);
    QVERIFY(m_phone->forgedSenderWarning().contains(QStringLiteral("Test phone")));
    Client again(m_port);
    QVERIFY(again.open());
    again.send(
        {{QStringLiteral("type"), QStringLiteral("hello")}, {QStringLiteral("token"), token}});
    const QJsonObject welcome = again.next();
    QCOMPARE(welcome.value(QStringLiteral("seq")).toInt(), 2);
    again.next(); // the state
    again.send(keyMessage('7', 3));
    QVERIFY(waitUntil([&] { return arrivals.size() == 3; }));
    QVERIFY(arrivals.at(2).at(0).value<KeyArrival>().origin.noController.empty());

    // Forget: its connections go at once, and its token opens nothing more.
    m_book->forget(1);
    QCOMPARE(again.closeCode(), 4002);
    Client after(m_port);
    QVERIFY(after.open());
    after.send(
        {{QStringLiteral("type"), QStringLiteral("hello")}, {QStringLiteral("token"), token}});
    QCOMPARE(after.closeCode(), 4001);
    QVERIFY(m_store.sections["WebDevices"].empty());
}

void WebRemoteTest::guessesAndFloodsAreBounded() {
    QSignalSpy lines(m_phone.get(), &KeyInput::logLine);
    m_phone->pairingLinks();
    const auto guess = [&] {
        Client guesser(m_port);
        QVERIFY(guesser.open());
        guesser.send(pairMessage(QStringLiteral("0123456789abcdef0123456789abcdef")));
        QCOMPARE(guesser.closeCode(), 4001);
    };
    for (int i = 0; i < 3; ++i)
        guess();
    QCOMPARE(lines.size(), 1); // one line per address a minute
    m_nowMs += 60000;
    guess();
    QCOMPARE(lines.size(), 2);

    // Connections that show nothing go after their time; past 16 at once, at once.
    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 16; ++i)
        silent.push_back(std::make_unique<Client>(m_port));
    Client surplus(m_port);
    QVERIFY(waitUntil([&] { return surplus.closed(); }, 2000));
    QVERIFY(waitUntil([&] {
        return std::all_of(silent.begin(), silent.end(), [](auto& c) { return c->closed(); });
    }));

    // A paired phone past its pace: the surplus dropped with one line.
    Client phone(m_port);
    QVERIFY(phone.open());
    phone.send(pairMessage(secretOf(m_phone->pairingLinks().first())));
    QCOMPARE(phone.next().value(QStringLiteral("type")).toString(), QStringLiteral("paired"));
    QSignalSpy arrivals(m_phone.get(), &KeyInput::arrived);
    lines.clear();
    for (int seq = 1; seq <= 30; ++seq)
        phone.send(keyMessage('1', seq));
    QVERIFY(waitUntil([&] { return !lines.isEmpty() && arrivals.size() == 20; }));
    QTest::qWait(50);
    QCOMPARE(arrivals.size(), 20);
    const auto told = std::count_if(lines.begin(), lines.end(), [](const QList<QVariant>& line) {
        return line.at(0).toString().contains(QStringLiteral("keys a second"));
    });
    QCOMPARE(told, 1);
}

QTEST_MAIN(WebRemoteTest)
#include "test_webremote.moc"
