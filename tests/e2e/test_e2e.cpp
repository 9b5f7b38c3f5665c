// The real program, driven over the network by the handset simulator, in a
// private settings folder; its log comes back on standard error.

#include "e2e/programrun.h"
#include "support/controllerstandin.h"
#include "support/missing.h"

#include <QTest>
#include <csignal>
#ifndef Q_OS_WIN
#include <sys/types.h>
#endif

using namespace nuvok::e2e;

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void handsetRefusedByAClosedPortFails_data();
    void handsetRefusedByAClosedPortFails();
    void udpSessionDrivesTheControllerAndLogsEveryKey();
    void tcpSessionServesOnePeerAndReadsEveryKeyOfItsStream();
    void tcpHandsetCanAlwaysComeBack();
    void keyCodesNeverDriveTheTerminal();
    void endRequestClosesTheWindowAndEndsNormally_data();
    void endRequestClosesTheWindowAndEndsNormally();
    void soundLibraryMessagesStayOutOfTheLog();
};

void EndToEndTest::handsetRefusedByAClosedPortFails_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("udp") << QStringList{QStringLiteral("menu")} << 1
                         << QStringLiteral("UDP port %1 refused message 1 of 1");
    QTest::newRow("udp, second of three")
        << QStringList{QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("1"),
                       QStringLiteral("2"), QStringLiteral("3")}
        << 1 << QStringLiteral("UDP port %1 refused message");
    QTest::newRow("tcp") << QStringList{QStringLiteral("--tcp"), QStringLiteral("menu")} << 1
                         << QStringLiteral("TCP port %1 refused the connection");
    QTest::newRow("unknown key") << QStringList{QStringLiteral("enter")} << 2
                                 << QStringLiteral("unknown key \"enter\"");
}

void EndToEndTest::handsetRefusedByAClosedPortFails() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const quint16 port = freePort();
    QVERIFY(port != 0);
    const HandsetRun run =
        handset(QStringList{QStringLiteral("--port"), QString::number(port)} + arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.errorText.startsWith(QLatin1String("nuvok-send: ")), qPrintable(run.errorText));
    const QString expected = message.contains(QLatin1String("%1")) ? message.arg(port) : message;
    QVERIFY2(run.errorText.contains(expected), qPrintable(run.errorText));
}

void EndToEndTest::udpSessionDrivesTheControllerAndLogsEveryKey() {
    if (QString::fromLatin1(nuvok::build::kControllerHost) != QLatin1String("127.0.0.1"))
        NUVOK_SKIP_MISSING(
            QStringLiteral("the controller is not on loopback in this build (configure with "
                           "-DNUVOKRC_CONTROLLER_HOST=127.0.0.1)"));
    FakeController controller;
    if (!controller.listen())
        NUVOK_SKIP_MISSING(QStringLiteral("the controller port 127.0.0.1:%1 is in use (%2)")
                               .arg(nuvok::build::kControllerPort)
                               .arg(controller.error()));
    const quint16 port = freePort();
    QVERIFY(port != 0);

    // Every line of a key is compared: no bubbles, whose missing service
    // would say so in a line of its own.
    Program program(QStringLiteral("[Settings]\nNotifications=false\n"));
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLine(QStringLiteral("Port: %1").arg(port)),
             qPrintable(program.lines().join(QLatin1Char('\n'))));

    QVERIFY(waitForListener(program, port));
    const QString keyZero = remoteLine(u'\u2400'); // the probe key's line

    struct Step {
        QStringList keys;
        QStringList lines;
        std::size_t connectionsAfter;
    };
    const Step steps[] = {
        {{QStringLiteral("menu")},
         {QStringLiteral("Remote: \u00ee"), QStringLiteral("bMenu 1")},
         0},
        {{QStringLiteral("left")}, {remoteLine(u'\u2410'), QStringLiteral("Mode:SetLeds")}, 0},
        {{QStringLiteral("3")}, {QStringLiteral("Remote: 3")}, 1},
        {{QStringLiteral("down")}, {remoteLine(u'\u240f'), QStringLiteral("strOnOff =0 ")}, 1},
        {{QStringLiteral("3")}, {QStringLiteral("Remote: 3")}, 2},
        {{QStringLiteral("9")}, {QStringLiteral("Remote: 9"), QStringLiteral("DoorPreOpen")}, 2},
        {{QStringLiteral("9")}, {QStringLiteral("Remote: 9"), QStringLiteral("Open Door")}, 4},
        {{QStringLiteral("65:menu")}, {QStringLiteral("RemoteMenu:  65")}, 4},
        {{QStringLiteral("00:menu")}, {QStringLiteral("RemoteMenu:  0")}, 4},
    };
    qsizetype next = program.lines().lastIndexOf(keyZero) + 1;
    for (const Step& step : steps) {
        const QString what = step.keys.join(QLatin1Char(' '));
        const KeyRun run = pressAndRead(program, port, step.keys, step.lines, next);
        QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
        QCOMPARE(run.got, step.lines); // nothing but the expected lines
        QVERIFY2(controller.waitForClosed(step.connectionsAfter), qPrintable(what));
        QCOMPARE(controller.connections().size(), step.connectionsAfter);
    }

    const auto& sent = controller.connections();
    QCOMPARE(sent[0].data, QByteArray("setport 3.1 \r\n"));
    QCOMPARE(sent[1].data, QByteArray("setport 3.0 \r\n"));
    QCOMPARE(sent[2].data, QByteArray("setport 1.1\r\n"));
    QCOMPARE(sent[3].data, QByteArray("setport 1.0\r\n"));
    // The door stays open for 0.8 s between the two commands.
    QVERIFY2(sent[3].acceptedMs - sent[2].acceptedMs >= 800 - nuvok::test::kStandInLatenessMs,
             qPrintable(QString::number(sent[3].acceptedMs - sent[2].acceptedMs)));

    // Arrivals that are no key message: a failure line for zero and one byte,
    // nothing at all for an unknown kind. Key code 0 marks the end.
    QVERIFY(press(port, {QStringLiteral("--raw="), QStringLiteral("--raw"), QStringLiteral("35"),
                         QStringLiteral("--raw"), QStringLiteral("35ad"), QStringLiteral("--raw"),
                         QStringLiteral("3500"), QStringLiteral("00")}));
    const qsizetype end = program.waitForLines({keyZero}, next);
    QVERIFY(end >= 0);
    const QStringList between = program.lines().mid(next, end - 1 - next);
    QCOMPARE(between.size(), 2);
    for (const QString& failure : between) {
        QVERIFY2(!failure.trimmed().isEmpty(), "a failure line says what went wrong");
        QVERIFY2(!failure.startsWith(QLatin1String("Remote")), qPrintable(failure));
    }
    QVERIFY(program.process().state() == QProcess::Running);
}

void EndToEndTest::tcpSessionServesOnePeerAndReadsEveryKeyOfItsStream() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    // Port and protocol from the stored settings; no "Port:" line then.
    Program program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=TCP\n").arg(port));
    QVERIFY(program.start({}));
    QVERIFY2(waitUntil([&] { return nuvok::test::tcpPortListening(port); }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));

    // Each write 400 ms after the last: two keys in one write, three in one,
    // and one key split over two writes. Every key counts, once, in order.
    QVERIFY(
        press(port,
              {QStringLiteral("menu"), QStringLiteral("65:menu"), QStringLiteral("--raw"),
               QStringLiteral("35ac36ac"), QStringLiteral("--raw"), QStringLiteral("31ac32ac33ac"),
               QStringLiteral("--raw"), QStringLiteral("38"), QStringLiteral("--raw"),
               QStringLiteral("ac"), QStringLiteral("00:menu"), QStringLiteral("7")},
              true));
    const QStringList expected{QStringLiteral("Remote: \u00ee"),  QStringLiteral("bMenu 1"),
                               QStringLiteral("RemoteMenu:  65"), QStringLiteral("Remote: 5"),
                               QStringLiteral("Remote: 6"),       QStringLiteral("Remote: 1"),
                               QStringLiteral("Remote: 2"),       QStringLiteral("Remote: 3"),
                               QStringLiteral("Remote: 8"),       QStringLiteral("RemoteMenu:  0"),
                               QStringLiteral("Remote: 7")};
    QVERIFY2(program.waitForLines(expected, 0) >= 0,
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    QCOMPARE(program.lines().mid(program.lines().indexOf(expected.front()), expected.size()),
             expected);
    QVERIFY(!program.lines().contains(QStringLiteral("Port: %1").arg(port)));

    // The peer has gone, and the next one is served without a click at the PC.
    QVERIFY(program.waitForLine(QStringLiteral("Handset 127.0.0.1 left: listening for it again")));
    QVERIFY(press(port, {QStringLiteral("66:menu")}, true));
    QVERIFY(program.waitForLine(QStringLiteral("RemoteMenu:  66")));
    QVERIFY(program.process().state() == QProcess::Running);
}

namespace {

// A handset on TCP as a test drives it, from an address of the loopback network.
class TcpHandset {
public:
    explicit TcpHandset(const char* from = "127.0.0.1") : m_from(QString::fromLatin1(from)) {}

    bool connectTo(quint16 port) {
        return m_socket.bind(QHostAddress(m_from)) &&
               (m_socket.connectToHost(QHostAddress::LocalHost, port),
                m_socket.waitForConnected(kLineTimeoutMs));
    }
    // A menu key with this code, or any bytes.
    bool sendMenuKey(int code) { return send(QByteArray(1, char(code)) + char(0xAF)); }
    bool send(const QByteArray& bytes) {
        m_socket.write(bytes);
        return m_socket.waitForBytesWritten(kLineTimeoutMs) || m_socket.bytesToWrite() == 0;
    }
    bool leave() {
        m_socket.disconnectFromHost();
        return m_socket.state() == QAbstractSocket::UnconnectedState ||
               m_socket.waitForDisconnected(kLineTimeoutMs);
    }
    // Whether the program closed the connection from its side.
    bool closedByProgram() {
        return m_socket.state() == QAbstractSocket::UnconnectedState ||
               m_socket.waitForDisconnected(kLineTimeoutMs);
    }

private:
    QString m_from;
    QTcpSocket m_socket;
};

QString menuLine(int code) {
    return QStringLiteral("RemoteMenu:  %1").arg(code);
}

} // namespace

// The handset leaves, comes back, loses its connection without a close: it
// is always served again, and no one else takes its place meanwhile.
void EndToEndTest::tcpHandsetCanAlwaysComeBack() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=TCP\n").arg(port));
    QVERIFY(program.start({}));
    QVERIFY(waitUntil([&] { return nuvok::test::tcpPortListening(port); }, kLineTimeoutMs));
    // The latest lines: the message of a failure has room for a few only.
    const auto log = [&] {
        return program.lines()
            .mid(program.lines().size() - 12)
            .join(QLatin1Char('\n'))
            .toLocal8Bit();
    };

    // Connect, key, close, a hundred times: every key counts.
    for (int code = 100; code < 200; ++code) {
        TcpHandset handset;
        QVERIFY2(handset.connectTo(port) && handset.sendMenuKey(code) && handset.leave(),
                 qPrintable(QStringLiteral("cycle %1").arg(code - 99)));
    }
    for (int code = 100; code < 200; ++code)
        QVERIFY2(program.waitForLine(menuLine(code)), log().constData());
    for (int code = 100; code < 200; ++code)
        QCOMPARE(program.lines().count(menuLine(code)), 1);

    // A connection that died without a close, then the handset again.
    TcpHandset lost;
    QVERIFY(lost.connectTo(port) && lost.sendMenuKey(200));
    QVERIFY2(program.waitForLine(menuLine(200)), log().constData());
    TcpHandset back;
    QElapsedTimer sinceBack;
    sinceBack.start();
    QVERIFY(back.connectTo(port) && back.sendMenuKey(201));
    QVERIFY2(program.waitForLine(menuLine(201)), log().constData());
    const qint64 handledMs = sinceBack.elapsed();
    qInfo("the key of the handset back was handled %lld ms after it connected", handledMs);
    QVERIFY2(handledMs < 5000, "not left to the keep-alive probes");
    QVERIFY2(program.lines().contains(
                 QStringLiteral("Handset 127.0.0.1 came back: its new connection takes over")),
             log().constData());
    QVERIFY(lost.closedByProgram());

    // Another host while the handset is served: refused, the handset served on.
    TcpHandset other("127.0.0.2");
    QVERIFY(other.connectTo(port));
    other.sendMenuKey(202);
    QVERIFY(other.closedByProgram());
    QVERIFY2(program.waitForLine(QStringLiteral(
                 "Refused a connection from 127.0.0.2: handset 127.0.0.1 is being served")),
             log().constData());
    QVERIFY(back.sendMenuKey(203));
    QVERIFY2(program.waitForLine(menuLine(203)), log().constData());
    QVERIFY(!program.lines().contains(menuLine(202)));

    // Gone in the middle of a key: said so, and no half key is handled.
    const qsizetype before = program.lines().size();
    QVERIFY(back.send(QByteArray(1, '5')) && back.leave());
    QVERIFY2(program.waitForLine(QStringLiteral("Handset 127.0.0.1 left in the middle of a key, "
                                                "which is dropped: listening for it again"),
                                 before),
             log().constData());
    QCOMPARE(program.lines().size(), before + 1);
    // Every connection served was watched, or had gone before it was served.
    for (const QString& line : program.lines())
        QVERIFY2(!line.contains(QLatin1String("refused to watch")), qPrintable(line));
    QVERIFY(program.process().state() == QProcess::Running);
}

// Every key code below 0x20 and from 0x80 to 0x9F, some of them the C1
// controls that start terminal sequences (0x90 DCS, 0x9D OSC), written to
// standard error: nothing in the stream a terminal would act on.
void EndToEndTest::keyCodesNeverDriveTheTerminal() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QString{});
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(program, port));
    QStringList keys{QStringLiteral("--delay"), QStringLiteral("0")};
    for (int code = 0; code < 0xA0; code = code == 0x1F ? 0x80 : code + 1)
        keys << QStringLiteral("--raw")
             << QStringLiteral("%1ac").arg(code, 2, 16, QLatin1Char('0'));
    keys << QStringLiteral("65:menu");
    QVERIFY(press(port, keys));
    QVERIFY2(program.waitForLine(QStringLiteral("RemoteMenu:  65")),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    const QByteArray stream = program.errorOutput();
    for (qsizetype i = 0; i < stream.size(); ++i) {
        const auto byte = static_cast<unsigned char>(stream[i]);
        const auto next = i + 1 < stream.size() ? static_cast<unsigned char>(stream[i + 1]) : 0;
        QVERIFY2((byte >= 0x20 || byte == '\n') && byte != 0x7F,
                 qPrintable(QStringLiteral("byte %1 at %2").arg(byte).arg(i)));
        QVERIFY2(!(byte == 0xC2 && next >= 0x80 && next <= 0x9F),
                 qPrintable(QStringLiteral("U+00%1 at %2").arg(next, 2, 16).arg(i)));
    }
    const QStringList lines = program.lines();
    QVERIFY(lines.contains(QStringLiteral("Remote: <U+0090>")));
    QVERIFY(lines.contains(QStringLiteral("Remote: <U+009D>")));
    QVERIFY(lines.contains(remoteLine(u'\u241b'))); // ESC
}

void EndToEndTest::endRequestClosesTheWindowAndEndsNormally_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void EndToEndTest::endRequestClosesTheWindowAndEndsNormally() {
#ifdef Q_OS_WIN
    QSKIP("POSIX signals only");
#else
    QFETCH(int, signal);
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=TCP\n").arg(port));
    // Start-up may still be waiting at the no-mixer box when the request comes.
    program.withoutSoundDevices();
    QVERIFY(program.start({}));
    QVERIFY2(waitUntil([&] { return nuvok::test::tcpPortListening(port); }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    QCOMPARE(::kill(pid_t(program.process().processId()), signal), 0);
    QVERIFY(program.process().waitForFinished(kLineTimeoutMs));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.process().exitCode() == 0,
             qPrintable(QStringLiteral("exit code %1; log:\n%2")
                            .arg(program.process().exitCode())
                            .arg(program.lines().join(QLatin1Char('\n')))));
    QVERIFY(!nuvok::test::tcpPortListening(port));
#endif
}

void EndToEndTest::soundLibraryMessagesStayOutOfTheLog() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QString{});
    program.withoutSoundDevices();
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLine(QStringLiteral("Port: %1").arg(port)),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    // Start-up opens the mixer before the end request is handled.
    program.process().terminate();
    QVERIFY(program.process().waitForFinished(kLineTimeoutMs));
    for (const QString& line : program.lines())
        QVERIFY2(!line.startsWith(QLatin1String("ALSA lib")), qPrintable(line));
    // Nor does the toolkit's note that this platform passes no size limits on.
    for (const QString& line : program.everyLine())
        QVERIFY2(!line.contains(QLatin1String("propagateSizeHints")), qPrintable(line));
}

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_e2e.moc"
