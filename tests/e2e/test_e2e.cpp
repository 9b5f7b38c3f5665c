// The real program, driven over the network by the handset simulator, in a
// private settings folder; its log comes back on standard error.

#include "common/buildconfig.h"
#include "support/eventwait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>
#include <memory>
#include <vector>

using nuvok::test::waitUntil;

namespace {

constexpr int kLineTimeoutMs = 15000;

// Lines the platform itself may write to standard error; they are not log lines.
bool isPlatformNoise(const QString& line) {
    return line.startsWith(QLatin1String("QStandardPaths:")) ||
           line.startsWith(QLatin1String("This plugin does not support")) ||
           line.startsWith(QLatin1String("qt."));
}

// A port that is free for TCP and UDP on every address at this moment.
quint16 freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer tcp;
        if (!tcp.listen(QHostAddress::Any, 0))
            continue;
        QUdpSocket udp;
        if (udp.bind(QHostAddress::Any, tcp.serverPort()))
            return tcp.serverPort();
    }
    return 0;
}

// Whether something listens for TCP on the port, from the kernel's own tables,
// so that looking does not disturb the program.
bool tcpListening(quint16 port) {
    const QString portHex = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& row : file.readAll().split('\n')) {
            const QList<QByteArray> fields = row.simplified().split(' ');
            // fields: slot, local address:port, remote address:port, state (0A listening)
            if (fields.size() > 3 && fields[1].endsWith(portHex.toLatin1()) && fields[3] == "0A")
                return true;
        }
    }
    return false;
}

struct HandsetRun {
    int exitCode = -1;
    QString errorText;
};

// Runs the handset simulator to its end.
HandsetRun handset(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(NUVOKSEND_BINARY), arguments);
    HandsetRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        run.errorText = QStringLiteral("nuvok-send did not finish");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.errorText = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The LED and door controller: records what each connection carried.
class FakeController : public QObject {
public:
    struct Connection {
        qint64 acceptedMs = 0;
        QByteArray data;
        bool closed = false;
    };

    bool listen() {
        if (!m_server.listen(QHostAddress(QString::fromLatin1(nuvok::build::kControllerHost)),
                             static_cast<quint16>(nuvok::build::kControllerPort)))
            return false;
        m_clock.start();
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                const std::size_t index = m_connections.size();
                m_connections.push_back({m_clock.elapsed(), {}, false});
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket, index] { m_connections[index].data += socket->readAll(); });
                connect(socket, &QTcpSocket::disconnected, this, [this, socket, index] {
                    m_connections[index].data += socket->readAll();
                    m_connections[index].closed = true;
                    socket->deleteLater();
                });
            }
        });
        return true;
    }

    QString error() const { return m_server.errorString(); }
    const std::vector<Connection>& connections() const { return m_connections; }

    bool waitForClosed(std::size_t count) {
        return waitUntil(
            [&] {
                if (m_connections.size() < count)
                    return false;
                for (std::size_t i = 0; i < count; ++i)
                    if (!m_connections[i].closed)
                        return false;
                return true;
            },
            kLineTimeoutMs);
    }

private:
    QTcpServer m_server;
    QElapsedTimer m_clock;
    std::vector<Connection> m_connections;
};

// One run of the program, offscreen, with its settings in a folder of its own.
class Program {
public:
    explicit Program(const QString& settings) {
        if (!settings.isEmpty()) {
            QFile file(m_config.filePath(QStringLiteral("NUVOKrc.conf")));
            if (file.open(QIODevice::WriteOnly))
                file.write(settings.toUtf8());
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(environment);
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { takeErrorOutput(); });
    }

    ~Program() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QStringList& arguments) {
        m_process.start(QStringLiteral(NUVOKRC_BINARY),
                        QStringList{QStringLiteral("--log-stderr")} + arguments);
        return m_process.waitForStarted(10000);
    }

    QProcess& process() { return m_process; }

    // Log lines so far, without the platform's own messages.
    QStringList lines() {
        takeErrorOutput();
        return m_lines;
    }

    bool waitForLine(const QString& line, qsizetype from = 0) {
        return waitUntil([&] { return lines().indexOf(line, from) >= 0; }, kLineTimeoutMs);
    }

    // Waits for these lines, in this order, after line number from; returns
    // the index after the last of them, or -1.
    qsizetype waitForLines(const QStringList& expected, qsizetype from) {
        qsizetype next = from;
        for (const QString& line : expected) {
            if (!waitForLine(line, next))
                return -1;
            next = m_lines.indexOf(line, next) + 1;
        }
        return next;
    }

private:
    void takeErrorOutput() {
        m_pending += m_process.readAllStandardError();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            if (!isPlatformNoise(line))
                m_lines << line;
        }
    }

    QTemporaryDir m_config;
    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
};

QString remoteLine(char16_t shown) {
    return QStringLiteral("Remote: ") + QChar(shown);
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void handsetRefusedByAClosedPortFails_data();
    void handsetRefusedByAClosedPortFails();
    void udpSessionDrivesTheControllerAndLogsEveryKey();
    void tcpSessionServesOnePeerWithOneMessagePerArrival();

private:
    // Sends the keys as one run of nuvok-send and demands that it succeeds.
    bool press(quint16 port, const QStringList& keys, bool tcp = false) {
        QStringList arguments{QStringLiteral("--port"), QString::number(port)};
        if (tcp)
            arguments << QStringLiteral("--tcp") << QStringLiteral("--delay")
                      << QStringLiteral("400");
        const HandsetRun run = handset(arguments + keys);
        if (run.exitCode != 0)
            qWarning("nuvok-send %s failed: %s", qPrintable(keys.join(QLatin1Char(' '))),
                     qPrintable(run.errorText));
        return run.exitCode == 0;
    }
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
        QSKIP("the controller is not on loopback in this build (configure with "
              "-DNUVOKRC_CONTROLLER_HOST=127.0.0.1)");
    FakeController controller;
    if (!controller.listen())
        QSKIP(qPrintable(QStringLiteral("the controller port 127.0.0.1:%1 is in use (%2)")
                             .arg(nuvok::build::kControllerPort)
                             .arg(controller.error())));
    const quint16 port = freePort();
    QVERIFY(port != 0);

    Program program(QString{});
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLine(QStringLiteral("Port: %1").arg(port)),
             qPrintable(program.lines().join(QLatin1Char('\n'))));

    // Start-up reopens the listener after logging the port; key code 0 does
    // nothing, so it is repeated until one arrives on the final listener.
    const QString keyZero = remoteLine(u'\u2400');
    QVERIFY(waitUntil(
        [&] {
            press(port, {QStringLiteral("00")});
            return waitUntil([&] { return program.lines().contains(keyZero); }, 2000);
        },
        kLineTimeoutMs));

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
        QVERIFY2(press(port, step.keys), qPrintable(what));
        const qsizetype after = program.waitForLines(step.lines, next);
        QVERIFY2(after >= 0, qPrintable(what + QStringLiteral(": log so far:\n") +
                                        program.lines().mid(next).join(QLatin1Char('\n'))));
        // Nothing but the expected lines: each key finishes before the next.
        QStringList got = program.lines().mid(next, after - next);
        while (got.size() > step.lines.size() && got.front() == keyZero)
            got.removeFirst(); // a start-up probe that came late
        QCOMPARE(got, step.lines);
        QVERIFY2(controller.waitForClosed(step.connectionsAfter), qPrintable(what));
        QCOMPARE(controller.connections().size(), step.connectionsAfter);
        next = after;
    }

    const auto& sent = controller.connections();
    QCOMPARE(sent[0].data, QByteArray("setport 3.1 \r\n"));
    QCOMPARE(sent[1].data, QByteArray("setport 3.0 \r\n"));
    QCOMPARE(sent[2].data, QByteArray("setport 1.1\r\n"));
    QCOMPARE(sent[3].data, QByteArray("setport 1.0\r\n"));
    // The door stays open for 0.8 s between the two commands.
    QVERIFY2(sent[3].acceptedMs - sent[2].acceptedMs >= 800,
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

void EndToEndTest::tcpSessionServesOnePeerWithOneMessagePerArrival() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    // Port and protocol from the stored settings; no "Port:" line then.
    Program program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=TCP\n").arg(port));
    QVERIFY(program.start({}));
    QVERIFY2(waitUntil([&] { return tcpListening(port); }, kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));

    // Four bytes in one arrival: only the first message counts.
    QVERIFY(press(port,
                  {QStringLiteral("menu"), QStringLiteral("65:menu"), QStringLiteral("--raw"),
                   QStringLiteral("35ac36ac"), QStringLiteral("00:menu"), QStringLiteral("7")},
                  true));
    const QStringList expected{QStringLiteral("Remote: \u00ee"),  QStringLiteral("bMenu 1"),
                               QStringLiteral("RemoteMenu:  65"), QStringLiteral("Remote: 5"),
                               QStringLiteral("RemoteMenu:  0"),  QStringLiteral("Remote: 7")};
    QVERIFY2(program.waitForLines(expected, 0) >= 0,
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    QCOMPARE(program.lines().mid(program.lines().indexOf(expected.front()), expected.size()),
             expected);
    QVERIFY(!program.lines().contains(QStringLiteral("Remote: 6")));
    QVERIFY(!program.lines().contains(QStringLiteral("Port: %1").arg(port)));

    // The peer has gone; the listener stays closed until Listen is pressed.
    QVERIFY(waitUntil([&] { return !tcpListening(port); }, kLineTimeoutMs));
    const HandsetRun second = handset({QStringLiteral("--tcp"), QStringLiteral("--port"),
                                       QString::number(port), QStringLiteral("menu")});
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.errorText.contains(QLatin1String("refused the connection")),
             qPrintable(second.errorText));
    QVERIFY(program.process().state() == QProcess::Running);
}

QTEST_GUILESS_MAIN(EndToEndTest)
#include "test_e2e.moc"
