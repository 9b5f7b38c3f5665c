// The infrared input against a real lircd (on a socket and folder of the
// test's own, driven by irsend SIMULATE, held still with SIGSTOP) and against
// stand-ins: it is ready only once lircd answers, says once that a lircd
// which accepts connections does not answer, that one which was ready hangs
// and that it answers again, and says nothing of a missing lircd that no
// setting asked for. The times are short; the program's are 2 s and 30 s.

#include "app/startsettings.h"
#include "net/lircinput.h"
#include "support/eventwait.h"
#include "support/freeport.h"
#include "support/lircdaemon.h"
#include "support/lirclines.h"
#include "support/lircstandin.h"
#include "support/memorysettings.h"
#include "support/missing.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using nuvok::test::freePort;
using nuvok::test::LircDaemon;
using nuvok::test::LircStandIn;
using nuvok::test::waitUntil;

namespace {

constexpr LircTimes kShort{100, 300, 400};

// The input and everything it said and gave, in order.
struct Input {
    explicit Input(const LircTimes& times = kShort) {
        input.setTimes(times);
        QObject::connect(&input, &LircInput::logLine, &input,
                         [this](const QString& line) { lines << line; });
        QObject::connect(&input, &LircInput::event, &input, [this](const nuvok::LircEvent& event) {
            lines << QStringLiteral("event %1 %2")
                         .arg(QString::fromStdString(event.button),
                              QString::fromStdString(event.remote));
        });
        QObject::connect(&input, &LircInput::ready, &input,
                         [this] { lines << QStringLiteral("(ready)"); });
    }
    bool waitFor(const QString& line, int timeoutMs = 10000) {
        return waitUntil([&] { return lines.contains(line); }, timeoutMs);
    }
    qsizetype count(const QString& text) const { return lines.filter(text).size(); }
    QString log() const { return lines.join(QLatin1Char('\n')); }

    LircInput input{kShort.retryMs};
    QStringList lines;
};

LircPlace socketPlace(const QString& path, bool byDefault = false) {
    LircPlace place;
    place.socketPath = path;
    place.byDefault = byDefault;
    return place;
}

LircPlace tcpPlace(quint16 port) {
    LircPlace place;
    place.host = QStringLiteral("127.0.0.1");
    place.port = port;
    return place;
}

// A lircd on a socket where the test wants it: it answers VERSION and sends
// what it is given.
class LocalLircd : public QObject {
public:
    bool listen(const QString& path) {
        QLocalServer::removeServer(path);
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* client = m_server.nextPendingConnection()) {
                m_clients << client;
                connect(client, &QLocalSocket::readyRead, client, [client] {
                    while (client->canReadLine())
                        if (client->readLine().trimmed() == "VERSION")
                            client->write(nuvok::test::lircVersionReply());
                });
            }
        });
        return m_server.listen(path);
    }
    void send(const QByteArray& bytes) {
        for (const QPointer<QLocalSocket>& client : m_clients)
            if (client)
                client->write(bytes);
    }

private:
    QLocalServer m_server;
    QList<QPointer<QLocalSocket>> m_clients;
};

// A socket file that nobody serves, as lircd leaves it behind: connections are refused.
bool leaveSocketFile(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (std::size_t(name.size()) >= sizeof address.sun_path) {
        ::close(fd);
        return false;
    }
    std::copy(name.begin(), name.end(), address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

enum class Over { Socket, Tcp };

bool startOver(LircDaemon& daemon, Over over) {
    return over == Over::Socket ? daemon.start() : daemon.startWithTcp();
}

LircPlace placeOf(const LircDaemon& daemon, Over over) {
    return over == Over::Socket ? socketPlace(daemon.socketPath()) : tcpPlace(daemon.tcpPort());
}

} // namespace

Q_DECLARE_METATYPE(Over)

class LircInputTest : public QObject {
    Q_OBJECT

private slots:
    void aLircdIsReadyWhenItHasAnsweredVersion_data();
    void aLircdIsReadyWhenItHasAnsweredVersion();
    void theStandInAnswersVersionAsLircdAndWinlircDo();
    void aStoppedLircdIsReadyOnlyOnceItRuns_data();
    void aStoppedLircdIsReadyOnlyOnceItRuns();
    void aLircdThatHangsAfterItWasReadyIsSaidOnce_data();
    void aLircdThatHangsAfterItWasReadyIsSaidOnce();
    void aDaemonThatNeverAnswersVersionIsReadyWithItsFirstEvent();
    void aMissingLircdIsSaidOnlyWhenASettingNamesIt_data();
    void aMissingLircdIsSaidOnlyWhenASettingNamesIt();
    void theBuildsSocketIsQuietUntilLircdIsThere();
};

// The rows with the real lircd need it installed.
#define NEEDS_LIRCD()                                                                              \
    do {                                                                                           \
        if (const QString missing = LircDaemon::missing(); !missing.isEmpty())                     \
            NUVOK_SKIP_MISSING(missing);                                                           \
    } while (false)

void LircInputTest::aLircdIsReadyWhenItHasAnsweredVersion_data() {
    QTest::addColumn<Over>("over");
    QTest::newRow("socket") << Over::Socket;
    QTest::newRow("TCP") << Over::Tcp;
}

void LircInputTest::aLircdIsReadyWhenItHasAnsweredVersion() {
    QFETCH(Over, over);
    NEEDS_LIRCD();
    LircDaemon daemon;
    QVERIFY2(startOver(daemon, over), qPrintable(daemon.log()));
    Input in;
    const LircPlace place = placeOf(daemon, over);
    in.input.start(place);
    QVERIFY2(in.waitFor(QStringLiteral("(ready)")), qPrintable(in.log()));
    QCOMPARE(in.lines.size(), 3);
    QCOMPARE(in.lines[0], QStringLiteral("IR input ready: lircd at ") + place.text());
    QVERIFY2(QRegularExpression(QStringLiteral("^IR input: lircd at %1 is version [0-9][0-9.]+$")
                                    .arg(QRegularExpression::escape(place.text())))
                 .match(in.lines[1])
                 .hasMatch(),
             qPrintable(in.lines[1]));
    QVERIFY(in.input.connected());
    QVERIFY(daemon.press(QStringLiteral("KEY_OK"), QStringLiteral("r")));
    QVERIFY2(in.waitFor(QStringLiteral("event KEY_OK r")), qPrintable(in.log()));
    // Asked again while no events come; the answer is not said again.
    QTest::qWait(3 * kShort.askMs);
    QCOMPARE(in.lines.size(), 4);
}

void LircInputTest::theStandInAnswersVersionAsLircdAndWinlircDo() {
    LircStandIn standIn;
    QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    Input in;
    in.input.start(tcpPlace(standIn.port()));
    const QString at = QStringLiteral("lircd at 127.0.0.1:%1").arg(standIn.port());
    QVERIFY2(in.waitFor(QStringLiteral("(ready)")), qPrintable(in.log()));
    QCOMPARE(in.lines, (QStringList{QStringLiteral("IR input ready: ") + at,
                                    QStringLiteral("IR input: %1 is version 0.10.2").arg(at),
                                    QStringLiteral("(ready)")}));
    QVERIFY(waitUntil([&] { return standIn.versionsAsked() >= 3; }));
    QCOMPARE(in.lines.size(), 3);
}

void LircInputTest::aStoppedLircdIsReadyOnlyOnceItRuns_data() {
    aLircdIsReadyWhenItHasAnsweredVersion_data();
}

// Its socket still accepts (the kernel's backlog): the question waits there.
void LircInputTest::aStoppedLircdIsReadyOnlyOnceItRuns() {
    QFETCH(Over, over);
    NEEDS_LIRCD();
    LircDaemon daemon;
    QVERIFY2(startOver(daemon, over), qPrintable(daemon.log()));
    QVERIFY(daemon.pause());
    Input in;
    const LircPlace place = placeOf(daemon, over);
    in.input.start(place);
    const QString silent =
        QStringLiteral("IR input: lircd at %1 accepts connections but does not answer")
            .arg(place.text());
    QVERIFY2(in.waitFor(silent), qPrintable(in.log()));
    QTest::qWait(5 * kShort.answerMs);
    QCOMPARE(in.lines, QStringList{silent});
    QVERIFY(!in.input.connected());

    QVERIFY(daemon.resume());
    QVERIFY2(in.waitFor(QStringLiteral("(ready)")), qPrintable(in.log()));
    QCOMPARE(in.lines[1], QStringLiteral("IR input ready: lircd at ") + place.text());
    QVERIFY(daemon.press(QStringLiteral("KEY_VOLUMEUP"), QStringLiteral("r")));
    QVERIFY2(in.waitFor(QStringLiteral("event KEY_VOLUMEUP r")), qPrintable(in.log()));
    QCOMPARE(in.count(silent), 1);
}

void LircInputTest::aLircdThatHangsAfterItWasReadyIsSaidOnce_data() {
    aLircdIsReadyWhenItHasAnsweredVersion_data();
}

void LircInputTest::aLircdThatHangsAfterItWasReadyIsSaidOnce() {
    QFETCH(Over, over);
    NEEDS_LIRCD();
    LircDaemon daemon;
    QVERIFY2(startOver(daemon, over), qPrintable(daemon.log()));
    Input in;
    const LircPlace place = placeOf(daemon, over);
    in.input.start(place);
    QVERIFY2(in.waitFor(QStringLiteral("(ready)")), qPrintable(in.log()));
    const qsizetype before = in.lines.size();

    QVERIFY(daemon.pause());
    const QString hung = QStringLiteral("IR input: lircd at %1 does not answer").arg(place.text());
    QVERIFY2(in.waitFor(hung), qPrintable(in.log()));
    QTest::qWait(4 * (kShort.askMs + kShort.answerMs));
    QCOMPARE(in.lines.mid(before), QStringList{hung});

    QVERIFY(daemon.resume());
    const QString back = QStringLiteral("IR input: lircd at %1 answers again").arg(place.text());
    QVERIFY2(in.waitFor(back), qPrintable(in.log()));
    QVERIFY(daemon.press(QStringLiteral("KEY_OK"), QStringLiteral("r")));
    QVERIFY2(in.waitFor(QStringLiteral("event KEY_OK r")), qPrintable(in.log()));
    QCOMPARE(in.lines.mid(before), (QStringList{hung, back, QStringLiteral("event KEY_OK r")}));
}

// An old WinLIRC, say: asked once, and ready with its first button event,
// which comes after the line that says so.
void LircInputTest::aDaemonThatNeverAnswersVersionIsReadyWithItsFirstEvent() {
    LircStandIn standIn;
    QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    standIn.setAnswersVersion(false);
    Input in;
    const LircPlace place = tcpPlace(standIn.port());
    in.input.start(place);
    const QString silent =
        QStringLiteral("IR input: lircd at %1 accepts connections but does not answer")
            .arg(place.text());
    QVERIFY2(in.waitFor(silent), qPrintable(in.log()));
    QVERIFY(standIn.waitForClients(1));
    standIn.send(nuvok::test::lircEventLine(QStringLiteral("KEY_UP"), QStringLiteral("w")));
    QVERIFY2(in.waitFor(QStringLiteral("event KEY_UP w")), qPrintable(in.log()));
    QTest::qWait(3 * (kShort.askMs + kShort.answerMs));
    QCOMPARE(in.lines,
             (QStringList{silent, QStringLiteral("IR input ready: lircd at ") + place.text(),
                          QStringLiteral("(ready)"), QStringLiteral("event KEY_UP w")}));
    QCOMPARE(standIn.versionsAsked(), 1);
}

void LircInputTest::aMissingLircdIsSaidOnlyWhenASettingNamesIt_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<bool>("byDefault");
    QTest::addColumn<bool>("socketFileLeft");
    QTest::addColumn<QString>("reason"); // %1: the place; empty: nothing said
    QTest::newRow("the build's socket, none there") << false << true << false << "";
    QTest::newRow("the build's socket, left behind")
        << false << true << true << "connection refused";
    QTest::newRow("LircSocket, none there")
        << false << false << false << "there is no socket at %1";
    QTest::newRow("LircSocket, left behind") << false << false << true << "connection refused";
    QTest::newRow("LircHost, refused") << true << false << false << "connection refused";
}

// Looked for all the same: once lircd is there, it is ready.
void LircInputTest::aMissingLircdIsSaidOnlyWhenASettingNamesIt() {
    QFETCH(bool, tcp);
    QFETCH(bool, byDefault);
    QFETCH(bool, socketFileLeft);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lircd"));
    if (socketFileLeft)
        QVERIFY(leaveSocketFile(path));
    const quint16 port = tcp ? quint16(freePort()) : 0;
    const LircPlace place = tcp ? tcpPlace(port) : socketPlace(path, byDefault);
    Input in;
    in.input.start(place);
    QTest::qWait(10 * kShort.retryMs);
    const QStringList said =
        reason.isEmpty()
            ? QStringList{}
            : QStringList{
                  QStringLiteral("IR remotes are not in use yet: no lircd answers at %1 (%2). "
                                 "Install and start lircd, or set LircSocket, or LircHost and "
                                 "LircPort; it is looked for every 0.1 s")
                      .arg(place.text(),
                           QString(reason).replace(QLatin1String("%1"), place.text()))};
    QCOMPARE(in.lines, said);

    LocalLircd local;
    LircStandIn standIn(port);
    if (!tcp)
        QVERIFY(local.listen(path));
    else
        QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    QVERIFY2(in.waitFor(QStringLiteral("(ready)")), qPrintable(in.log()));
    QCOMPARE(
        in.lines.mid(said.size()),
        (QStringList{QStringLiteral("IR input ready: lircd at ") + place.text(),
                     QStringLiteral("IR input: lircd at %1 is version 0.10.2").arg(place.text()),
                     QStringLiteral("(ready)")}));
}

// The default socket passed to the settings is the build's; only a setting
// that names lircd makes its absence worth a line.
void LircInputTest::theBuildsSocketIsQuietUntilLircdIsThere() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lircd"));
    nuvok::test::MemorySettings nothingSet;
    const StartSettings settings =
        readStartSettings(nothingSet, QStringLiteral("127.0.0.1"), 50290, path);
    QVERIFY(settings.lirc.place.byDefault);
    Input in;
    in.input.start(settings.lirc.place);
    QTest::qWait(10 * kShort.retryMs);
    QCOMPARE(in.lines, QStringList{});
    LocalLircd local;
    QVERIFY(local.listen(path));
    QVERIFY2(in.waitFor(QStringLiteral("IR input ready: lircd at ") + path), qPrintable(in.log()));
    local.send(nuvok::test::lircEventLine(QStringLiteral("KEY_OK"), QStringLiteral("r")));
    QVERIFY2(in.waitFor(QStringLiteral("event KEY_OK r")), qPrintable(in.log()));
}

QTEST_MAIN(LircInputTest)
#include "test_lircinput.moc"
