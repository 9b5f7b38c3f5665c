#pragma once

// The real program and the handset simulator as processes of a test: starting
// them, reading the program's log from its standard error, and a stand-in for
// the LED and door controller.

#include "common/buildconfig.h"
#include "support/eventwait.h"
#include "support/freeport.h"
#include "support/procnet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <algorithm>
#include <csignal>
#include <functional>
#include <vector>
#ifndef Q_OS_WIN
#include <sys/types.h>
#endif

namespace nuvok::e2e {

using nuvok::test::freePort;
using nuvok::test::waitUntil;

inline constexpr int kLineTimeoutMs = 15000;

// Lines the platform itself may write to standard error; they are not log lines.
inline bool isPlatformNoise(const QString& line) {
    return line.startsWith(QLatin1String("QStandardPaths:")) ||
           line.startsWith(QLatin1String("This plugin does not support")) ||
           line.startsWith(QLatin1String("qt."));
}

struct HandsetRun {
    int exitCode = -1;
    QString errorText;
};

// Runs the handset simulator to its end, handling this process's events
// meanwhile, so that a controller stand-in here sees connections when they come.
inline HandsetRun handset(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(NUVOKSEND_BINARY), arguments);
    HandsetRun run;
    if (!process.waitForStarted(10000) ||
        !waitUntil([&] { return process.state() == QProcess::NotRunning; }, 60000)) {
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

// One run of the program with its settings in a folder of its own, on Qt's
// offscreen platform unless told otherwise.
class Program {
public:
    explicit Program(const QString& settings,
                     const QString& platform = QStringLiteral("offscreen")) {
        if (!settings.isEmpty()) {
            QFile file(m_config.filePath(QStringLiteral("NUVOKrc.conf")));
            if (file.open(QIODevice::WriteOnly))
                file.write(settings.toUtf8());
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        // For sanitizer builds; ignored otherwise.
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           QStringLiteral("suppressions=" LSAN_SUPPRESSIONS));
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

    // The settings file the program reads and writes.
    QString settingsFile() const { return m_config.filePath(QStringLiteral("NUVOKrc.conf")); }

    void setEnvironment(const QString& name, const QString& value) {
        QProcessEnvironment environment = m_process.processEnvironment();
        environment.insert(name, value);
        m_process.setProcessEnvironment(environment);
    }

    // A start of the same user's program: with the settings of the other run.
    void shareSettingsWith(const Program& other) {
        setEnvironment(QStringLiteral("XDG_CONFIG_HOME"), other.m_config.path());
    }

    void unsetEnvironment(const QString& name) {
        QProcessEnvironment environment = m_process.processEnvironment();
        environment.remove(name);
        m_process.setProcessEnvironment(environment);
    }

    // No sound devices and no sound server, whatever the machine has:
    // start-up then always shows the no-mixer box.
    void withoutSoundDevices() {
        QFile noDevices(m_config.filePath(QStringLiteral("asound.conf")));
        if (noDevices.open(QIODevice::WriteOnly))
            setEnvironment(QStringLiteral("ALSA_CONFIG_PATH"), noDevices.fileName());
        setEnvironment(QStringLiteral("PULSE_SERVER"),
                       QStringLiteral("unix:") + m_config.filePath(QStringLiteral("no-server")));
    }

    bool start(const QStringList& arguments) {
        m_process.start(QStringLiteral(NUVOKRC_BINARY),
                        QStringList{QStringLiteral("--log-stderr")} + arguments);
        return m_process.waitForStarted(10000);
    }

    QProcess& process() { return m_process; }

    // Everything written to standard error so far, as written.
    QByteArray errorOutput() {
        takeErrorOutput();
        return m_errorOutput;
    }

    // Log lines so far, without the platform's own messages.
    QStringList lines() {
        takeErrorOutput();
        return m_lines;
    }
    // Everything on standard error so far, the platform's messages too.
    QStringList everyLine() {
        takeErrorOutput();
        return m_everyLine;
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
        const QByteArray output = m_process.readAllStandardError();
        m_errorOutput += output;
        m_pending += output;
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            m_everyLine << line;
            if (!isPlatformNoise(line))
                m_lines << line;
        }
    }

    QTemporaryDir m_config;
    QProcess m_process;
    QByteArray m_pending;
    QByteArray m_errorOutput;
    QStringList m_lines;
    QStringList m_everyLine;
};

// A later start of the same user's program, run to its end: its exit status
// (-1 when it did not end in time) and what it wrote.
struct LaterStart {
    int exitCode = -1;
    QString said;
};
inline LaterStart startAgain(const Program& running, const QStringList& arguments,
                             const QString& platform = QStringLiteral("offscreen")) {
    Program again(QString{}, platform);
    again.shareSettingsWith(running);
    LaterStart result;
    if (again.start(arguments) && again.process().waitForFinished(kLineTimeoutMs))
        result.exitCode = again.process().exitCode();
    result.said = again.everyLine().join(QLatin1Char('\n'));
    return result;
}

// Later starts that leave the window where it is: -min, the free port and a
// taken one, each ending with its status; windowKept says after each whether
// the window stayed (empty) or what became of it. Empty when all went so.
inline QString laterStartsKeepTheWindow(const Program& running, quint16 free,
                                        const QString& platform,
                                        const std::function<QString()>& windowKept) {
    QUdpSocket taken;
    if (!taken.bind(QHostAddress::AnyIPv4, 0))
        return QStringLiteral("no port to take");
    const struct {
        QStringList arguments;
        int exitCode;
    } starts[] = {
        {{QStringLiteral("-min")}, 0},
        {{QStringLiteral("-port"), QString::number(free)}, 0},
        {{QStringLiteral("-port"), QString::number(taken.localPort())}, 1},
    };
    for (const auto& start : starts) {
        const LaterStart later = startAgain(running, start.arguments, platform);
        const QString named = start.arguments.join(QLatin1Char(' ')) + QStringLiteral(": ");
        if (later.exitCode != start.exitCode)
            return named + later.said;
        if (const QString moved = windowKept(); !moved.isEmpty())
            return named + moved;
    }
    return {};
}

// The player's MPRIS plugin where Debian installs it; empty without it.
inline QString mprisPlugin() {
    for (const char* path : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so"})
        if (QFile::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    return {};
}

inline QString remoteLine(char16_t shown) {
    return QStringLiteral("Remote: ") + QChar(shown);
}

// Sends the keys as one run of nuvok-send and demands that it succeeds.
inline bool press(quint16 port, const QStringList& keys, bool tcp = false) {
    QStringList arguments{QStringLiteral("--port"), QString::number(port)};
    if (tcp)
        arguments << QStringLiteral("--tcp") << QStringLiteral("--delay") << QStringLiteral("400");
    const HandsetRun run = handset(arguments + keys);
    if (run.exitCode != 0)
        qWarning("nuvok-send %s failed: %s", qPrintable(keys.join(QLatin1Char(' '))),
                 qPrintable(run.errorText));
    return run.exitCode == 0;
}

// Key code 0, which does nothing, sent as a probe of the listener: a refusal
// while nothing listens yet is an answer, not a failure, and is not reported.
inline HandsetRun probe(quint16 port, bool tcp = false) {
    QStringList arguments{QStringLiteral("--port"), QString::number(port)};
    if (tcp)
        arguments << QStringLiteral("--tcp");
    return handset(arguments << QStringLiteral("00"));
}

// Waits until the program takes keys on the UDP port. With -port, start-up
// logs "Port: N" and then opens the listener once more; a key sent before
// that line may be refused or dropped with the first listener. So the wait
// is for that line first (when start-up writes one), then for a probe, key
// code 0, which does nothing, to be logged after it and after the lines
// logged so far, so that every key sent before the call has been handled
// when it returns. A probe that is refused
// because the listener is not open yet is no failure: it is repeated quietly.
// Only when the listener never answers is the last refusal reported.
inline bool waitForListener(Program& program, quint16 port) {
    const QString portLine = QStringLiteral("Port: %1").arg(port);
    const auto portLineAt = [&] {
        const QStringList lines = program.lines();
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].simplified() == portLine)
                return i;
        return qsizetype{-1};
    };
    const bool withPortArgument =
        program.process().arguments().contains(QStringLiteral("-port"), Qt::CaseInsensitive);
    const qsizetype calledAt = program.lines().size();
    if (withPortArgument && !waitUntil([&] { return portLineAt() >= 0; }, kLineTimeoutMs)) {
        qWarning("the program never logged \"%s\"", qPrintable(portLine));
        return false;
    }
    const qsizetype from = std::max(withPortArgument ? portLineAt() + 1 : 0, calledAt);
    const QString keyZero = remoteLine(u'\u2400');
    QString lastRefusal;
    const bool answered = waitUntil(
        [&] {
            const HandsetRun sent = probe(port);
            if (sent.exitCode != 0)
                lastRefusal = sent.errorText.trimmed();
            return waitUntil([&] { return program.lines().indexOf(keyZero, from) >= 0; }, 2000);
        },
        kLineTimeoutMs);
    if (!answered)
        qWarning("the program's listener on UDP port %u never took a key: %s", unsigned{port},
                 qPrintable(lastRefusal.isEmpty() ? QStringLiteral("no refusal, no log line")
                                                  : lastRefusal));
    return answered;
}

// What one run of keys logged: the lines from `next` up to the expected ones,
// less start-up probes that came late. `next` moves past them. An empty
// failure text means the keys went out and the expected lines came.
struct KeyRun {
    QStringList got;
    QString failure;
};

inline KeyRun pressAndRead(Program& program, quint16 port, const QStringList& keys,
                           const QStringList& expected, qsizetype& next) {
    const QString what = keys.join(QLatin1Char(' '));
    if (!press(port, keys))
        return {{}, what + QStringLiteral(": nuvok-send failed")};
    const qsizetype after = program.waitForLines(expected, next);
    if (after < 0)
        return {{},
                what + QStringLiteral(": log so far:\n") +
                    program.lines().mid(next).join(QLatin1Char('\n'))};
    QStringList got = program.lines().mid(next, after - next);
    const QString probe = remoteLine(u'\u2400');
    while (got.size() > expected.size() && got.front() == probe)
        got.removeFirst();
    next = after;
    return {got, {}};
}

// SIGTERM, as a session manager sends it: the program must end at once
// (within 2 s) with status 0. Returns what went wrong, or nothing.
inline QString endBySignal(Program& program) {
#ifdef Q_OS_WIN
    Q_UNUSED(program);
    return QStringLiteral("POSIX signals only");
#else
    QElapsedTimer clock;
    clock.start();
    const auto log = [&] { return program.lines().join(QLatin1Char('\n')); };
    if (::kill(pid_t(program.process().processId()), SIGTERM) != 0)
        return QStringLiteral("kill failed");
    if (!program.process().waitForFinished(kLineTimeoutMs))
        return QStringLiteral("still running:\n") + log();
    const qint64 took = clock.elapsed();
    if (program.process().exitStatus() != QProcess::NormalExit || program.process().exitCode() != 0)
        return QStringLiteral("ended with status %1:\n").arg(program.process().exitCode()) + log();
    if (took > 2000)
        return QStringLiteral("took %1 ms").arg(took);
    return {};
#endif
}

} // namespace nuvok::e2e
