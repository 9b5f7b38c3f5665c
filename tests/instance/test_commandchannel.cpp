#include "instance/commandchannel.h"
#include "instance/peeruser.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

namespace {

// A client of the channel that reads its answers as the test goes on.
struct Client {
    QLocalSocket socket;

    explicit Client(const QString& name) { socket.connectToServer(name); }
    // The next answer line, or empty when none comes in time.
    QByteArray answer() {
        (void)QTest::qWaitFor(
            [&] {
                return socket.canReadLine() || socket.state() == QLocalSocket::UnconnectedState;
            },
            5000);
        return socket.canReadLine() ? socket.readLine() : QByteArray();
    }
    bool closed() {
        return QTest::qWaitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; },
                               5000);
    }
};

} // namespace

class CommandChannelTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void answersEachRequestInTurn();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void servesThisUserOnly();
    void aFailingRequestIsAnsweredAndLogged();
    void letsSilentAndSurplusClientsGo();
    void aFloodHoldsNobodyUp();
    void closingFreesTheName();

private:
    std::unique_ptr<CommandChannel> channel(CommandChannel::PeerCheck check = peerIsThisUser,
                                            CommandChannel::Limits limits = {});
    QString m_name;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void CommandChannelTest::init() {
    m_folder = std::make_unique<QTemporaryDir>();
    m_name = m_folder->filePath(QStringLiteral("channel"));
}

std::unique_ptr<CommandChannel> CommandChannelTest::channel(CommandChannel::PeerCheck check,
                                                            CommandChannel::Limits limits) {
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name))
        qFatal("cannot listen at %s", qPrintable(m_name));
    auto made = std::make_unique<CommandChannel>(std::move(server), std::move(check), limits);
    made->handle(QStringLiteral("echo"), [](const ChannelMessage& request) {
        return CommandChannel::answer(QStringLiteral("ok"), request.field(QStringLiteral("say")));
    });
    return made;
}

// One connection carries request after request, each answered in its turn;
// any text goes through a field, blanks and line ends too.
void CommandChannelTest::answersEachRequestInTurn() {
    const auto served = channel();
    Client client(m_name);
    ChannelMessage first;
    first.word = QStringLiteral("echo");
    first.with(QStringLiteral("say"), QStringLiteral("two words\nand a line, 100% \u00e4"));
    ChannelMessage second;
    second.word = QStringLiteral("echo");
    second.with(QStringLiteral("say"), QStringLiteral("=second="));
    client.socket.write(first.line() + second.line());
    for (const ChannelMessage& sent : {first, second}) {
        QString problem;
        const auto answer = ChannelMessage::parse(client.answer(), &problem);
        QVERIFY2(answer, qPrintable(problem));
        QCOMPARE(answer->word, QStringLiteral("ok"));
        QCOMPARE(answer->field(QStringLiteral("text")), sent.field(QStringLiteral("say")));
    }
}

void CommandChannelTest::refusesWhatItCannotRead_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("because");
    QTest::addColumn<bool>("staysOpen");
    QTest::newRow("unknown request")
        << QByteArray("NUVOKrc/1 fly\n") << QStringLiteral("unknown request: fly") << true;
    QTest::newRow("another version")
        << QByteArray("NUVOKrc/2 echo\n")
        << QStringLiteral("not a request of this program's version") << true;
    QTest::newRow("no request") << QByteArray("\n") << QStringLiteral("not a request") << true;
    QTest::newRow("a bad field") << QByteArray("NUVOKrc/1 echo say\n")
                                 << QStringLiteral("a field that is not name=value") << true;
    QTest::newRow("a line without end") << QByteArray(ChannelMessage::kMaxLineBytes + 10, 'x')
                                        << QStringLiteral("the request is too long") << false;
}

void CommandChannelTest::refusesWhatItCannotRead() {
    QFETCH(QByteArray, line);
    QFETCH(QString, because);
    QFETCH(bool, staysOpen);
    const auto served = channel();
    Client client(m_name);
    client.socket.write(line);
    QString problem;
    const auto answer = ChannelMessage::parse(client.answer(), &problem);
    QVERIFY2(answer, qPrintable(problem));
    QCOMPARE(answer->word, QStringLiteral("refused"));
    QVERIFY2(answer->field(QStringLiteral("text")).contains(because),
             qPrintable(answer->field(QStringLiteral("text"))));
    if (!staysOpen) {
        QVERIFY(client.closed());
        return;
    }
    // The next request is served as usual.
    client.socket.write("NUVOKrc/1 echo say=again\n");
    QVERIFY(client.answer().startsWith("NUVOKrc/1 ok text=again"));
}

// Another user's program gets no answer at all, and the log says who it was;
// this user's own connection passes the system's check.
void CommandChannelTest::servesThisUserOnly() {
    {
        const auto served = channel([](qintptr, QString* who) {
            *who = QStringLiteral("user 4242");
            return false;
        });
        QSignalSpy logged(served.get(), &CommandChannel::logLine);
        Client client(m_name);
        client.socket.write("NUVOKrc/1 echo say=x\n");
        QVERIFY(client.closed());
        QCOMPARE(client.socket.bytesAvailable(), 0);
        QCOMPARE(logged.size(), 1);
        QVERIFY(logged.front().front().toString().contains(QLatin1String("user 4242")));
    }
    init();
    const auto served = channel();
    Client client(m_name);
    client.socket.write("NUVOKrc/1 echo say=me\n");
    QVERIFY(client.answer().startsWith("NUVOKrc/1 ok"));
}

void CommandChannelTest::aFailingRequestIsAnsweredAndLogged() {
    const auto served = channel();
    served->handle(QStringLiteral("fail"), [](const ChannelMessage&) -> ChannelMessage {
        throw std::runtime_error("the port box is gone");
    });
    QSignalSpy logged(served.get(), &CommandChannel::logLine);
    Client client(m_name);
    client.socket.write("NUVOKrc/1 fail\nNUVOKrc/1 echo say=after\n");
    QVERIFY(client.answer().startsWith("NUVOKrc/1 failed text=the%20port%20box%20is%20gone"));
    QVERIFY(client.answer().startsWith("NUVOKrc/1 ok text=after"));
    QCOMPARE(logged.size(), 1);
}

void CommandChannelTest::letsSilentAndSurplusClientsGo() {
    const auto served = channel(peerIsThisUser, {200, 2});
    Client silent(m_name);
    Client talking(m_name);
    QVERIFY(silent.socket.waitForConnected(2000));
    QVERIFY(talking.socket.waitForConnected(2000));
    QTest::qWait(50); // both accepted
    Client surplus(m_name);
    QVERIFY(surplus.closed());
    // The talking one stays while it talks; the silent one goes.
    for (int i = 0; i < 3; ++i) {
        QTest::qWait(100);
        talking.socket.write("NUVOKrc/1 echo say=x\n");
        QVERIFY(talking.answer().startsWith("NUVOKrc/1 ok"));
    }
    QVERIFY(silent.closed());
    // A place freed by the one that went is there for the next.
    Client next(m_name);
    next.socket.write("NUVOKrc/1 echo say=x\n");
    QVERIFY(next.answer().startsWith("NUVOKrc/1 ok"));
}

// A client that sends a flood of requests and reads none of the answers is
// let go; another client is answered meanwhile.
void CommandChannelTest::aFloodHoldsNobodyUp() {
    const auto served = channel();
    Client flood(m_name);
    flood.socket.setReadBufferSize(1024); // it reads no more than that
    QVERIFY(flood.socket.waitForConnected(2000));
    const QByteArray request("NUVOKrc/1 echo say=flood\n");
    flood.socket.write(request.repeated(100000));
    Client other(m_name);
    other.socket.write("NUVOKrc/1 echo say=me\n");
    QVERIFY(other.answer().startsWith("NUVOKrc/1 ok text=me"));
    // Its unread answers are bounded: it is let go before its flood is served.
    QVERIFY(flood.closed());
}

// The next start must find nobody: the clients go with the channel.
void CommandChannelTest::closingFreesTheName() {
    auto served = channel();
    Client client(m_name);
    client.socket.write("NUVOKrc/1 echo say=x\n");
    QVERIFY(client.answer().startsWith("NUVOKrc/1 ok"));
    served->close();
    QVERIFY(!served->listening());
    QVERIFY(client.closed());
    QLocalSocket late;
    late.connectToServer(m_name);
    QVERIFY(!late.waitForConnected(500));
    served->close(); // again: harmless
}

QTEST_GUILESS_MAIN(CommandChannelTest)
#include "test_commandchannel.moc"
