#include "support/lircdaemon.h"

#include "support/eventwait.h"
#include "support/freeport.h"
#include "support/lirclines.h"
#include "support/procnet.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTest>
#include <algorithm>
#include <csignal>

namespace nuvok::test {

namespace {

// lircd lives in /usr/sbin, which a user's PATH may not name.
QString lircdProgram() {
    const QString found = QStandardPaths::findExecutable(QStringLiteral("lircd"));
    return found.isEmpty() ? QStandardPaths::findExecutable(
                                 QStringLiteral("lircd"),
                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")})
                           : found;
}

QByteArray readFrom(const QString& path, qint64 offset = 0) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.readAll();
}

// No hardware: the "file" driver reads its (empty) device only when asked
// to, and the configuration names no remote; lircd sends every simulated
// button as it is.
constexpr char kOptions[] = "[lircd]\n"
                            "nodaemon = True\n"
                            "driver = file\n"
                            "device = /dev/null\n"
                            "allow-simulate = Yes\n"
                            "permission = 600\n";
constexpr char kConfig[] = "# No remotes: the tests' buttons are simulated.\n";

} // namespace

LircDaemon::LircDaemon() {
    QFile options(path("lirc_options.conf"));
    if (options.open(QIODevice::WriteOnly))
        options.write(kOptions);
    QFile config(path("lircd.conf"));
    if (config.open(QIODevice::WriteOnly))
        config.write(kConfig);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(path("lircd.out"), QIODevice::Append);
}

LircDaemon::~LircDaemon() {
    stop();
}

QString LircDaemon::missing() {
    if (lircdProgram().isEmpty())
        return QStringLiteral("lircd is not installed (Debian package lirc)");
    if (QStandardPaths::findExecutable(QStringLiteral("irsend")).isEmpty())
        return QStringLiteral("irsend is not installed (Debian package lirc)");
    return {};
}

QString LircDaemon::path(const char* name) const {
    return m_dir.filePath(QString::fromLatin1(name));
}

QString LircDaemon::socketPath() const {
    return path("lircd");
}

bool LircDaemon::start() {
    stop();
    m_tcpPort = 0;
    return launch();
}

bool LircDaemon::startWithTcp(quint16 port) {
    stop();
    m_tcpPort = port != 0 ? port : quint16(freePort());
    if (m_tcpPort == 0) {
        m_irsendLog += QStringLiteral("no free TCP port\n");
        return false;
    }
    return launch();
}

bool LircDaemon::restart() {
    stop();
    return launch();
}

bool LircDaemon::launch() {
    if (!m_dir.isValid())
        return false;
    m_logStart = QFile(path("lircd.log")).size();
    m_ownConnections = 0;
    QStringList arguments{QStringLiteral("--options-file=") + path("lirc_options.conf"),
                          QStringLiteral("--nodaemon"),
                          QStringLiteral("--allow-simulate"),
                          QStringLiteral("--output=") + socketPath(),
                          QStringLiteral("--pidfile=") + path("lircd.pid"),
                          QStringLiteral("--logfile=") + path("lircd.log"),
                          QStringLiteral("--loglevel=info")};
    // Always with an address: "--listen PORT" would listen on every interface.
    if (m_tcpPort != 0)
        arguments << QStringLiteral("--listen=127.0.0.1:%1").arg(m_tcpPort);
    arguments << path("lircd.conf");
    m_process.start(lircdProgram(), arguments);
    if (!m_process.waitForStarted(10000))
        return false;
    // lircd says it is ready once its socket (and its TCP port) accepts.
    const auto ready = [&] {
        return readFrom(path("lircd.log"), m_logStart).contains(" ready, using ") &&
               (m_tcpPort == 0 || tcpPortListening(m_tcpPort));
    };
    return waitUntil([&] { return !running() || ready(); }, 15000) && running();
}

void LircDaemon::stop(SocketFile file) {
    resume(); // a held process would keep its SIGTERM until it runs again
    if (running()) {
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
    if (file == SocketFile::Remove)
        QFile::remove(socketPath());
}

bool LircDaemon::reload() {
    if (!running())
        return false;
    const auto reopened = [&] {
        return readFrom(path("lircd.log"), m_logStart).count("reopened logfile");
    };
    const qsizetype before = reopened();
    ::kill(pid_t(m_process.processId()), SIGHUP);
    // It has read its configuration and told its clients when its log is open again.
    return waitUntil([&] { return !running() || reopened() > before; }, 10000) && running();
}

bool LircDaemon::pause() {
    if (!running() || ::kill(pid_t(m_process.processId()), SIGSTOP) != 0)
        return false;
    m_paused = true;
    return true;
}

bool LircDaemon::resume() {
    if (!m_paused)
        return true;
    m_paused = false;
    return running() && ::kill(pid_t(m_process.processId()), SIGCONT) == 0;
}

int LircDaemon::acceptedInLog() const {
    return int(readFrom(path("lircd.log"), m_logStart).count("accepted new client"));
}

int LircDaemon::clientsAccepted() const {
    return std::max(0, acceptedInLog() - m_ownConnections);
}

bool LircDaemon::waitForClients(int count, int timeoutMs) const {
    return waitUntil([&] { return clientsAccepted() >= count; }, timeoutMs);
}

bool LircDaemon::press(const QString& button, const QString& remote, int repeat) {
    const QString event = QString::fromUtf8(lircEventLine(button, remote, repeat)).trimmed();
    if (!running()) {
        m_irsendLog += QStringLiteral("not sent, lircd is not running: %1\n").arg(event);
        return false;
    }
    QProcess irsend;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LIRC_SOCKET_PATH"), socketPath());
    irsend.setProcessEnvironment(environment);
    irsend.setProcessChannelMode(QProcess::MergedChannels);
    irsend.start(QStringLiteral("irsend"),
                 {QStringLiteral("--device=") + socketPath(), QStringLiteral("SIMULATE"), event});
    const bool finished = irsend.waitForStarted(10000) && irsend.waitForFinished(10000);
    const QString said = QString::fromLocal8Bit(irsend.readAll()).trimmed();
    // Every run that reached lircd was a connection of its own.
    if (finished && !said.contains(QStringLiteral("Cannot open socket")))
        ++m_ownConnections;
    if (finished && irsend.exitStatus() == QProcess::NormalExit && irsend.exitCode() == 0)
        return true;
    m_irsendLog += QStringLiteral("irsend SIMULATE \"%1\" failed: %2\n")
                       .arg(event, finished ? said : irsend.errorString());
    return false;
}

bool LircDaemon::hold(const QString& button, const QString& remote, int repeats, int intervalMs) {
    QElapsedTimer clock;
    clock.start();
    if (!press(button, remote, 0))
        return false;
    for (int repeat = 1; repeat <= repeats; ++repeat) {
        // On the press's clock, so that slow irsend runs do not stretch the hold.
        const qint64 due = qint64(repeat) * intervalMs;
        if (clock.elapsed() < due)
            QTest::qWait(int(due - clock.elapsed()));
        if (!press(button, remote, repeat))
            return false;
    }
    return true;
}

QString LircDaemon::log() const {
    QString text = QString::fromUtf8(readFrom(path("lircd.log")).right(3000));
    const QByteArray output = readFrom(path("lircd.out"));
    if (!output.isEmpty())
        text += QStringLiteral("\nlircd's output:\n") + QString::fromUtf8(output.right(1000));
    if (!m_irsendLog.isEmpty())
        text += QStringLiteral("\n") + m_irsendLog.right(1000);
    return text;
}

} // namespace nuvok::test
