#include "support/pulseserver.h"

#include "support/eventwait.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <csignal>

namespace nuvok::test {

namespace {

QProcessEnvironment privateEnvironment(const QString& dir) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/home/.config"));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    environment.remove(QStringLiteral("PULSE_SINK"));
    environment.remove(QStringLiteral("PULSE_SOURCE"));
    return environment;
}

} // namespace

PulseServer::PulseServer() {
    QDir(m_dir.path()).mkpath(QStringLiteral("home/.config"));
    QDir(m_dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_server.setProcessEnvironment(privateEnvironment(m_dir.path()));
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.setStandardOutputFile(m_dir.filePath(QStringLiteral("pulse.log")), QIODevice::Append);
}

PulseServer::~PulseServer() {
    stop();
}

QString PulseServer::missing() {
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
        return QStringLiteral("pulseaudio is not installed (Debian package pulseaudio)");
    if (QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
        return QStringLiteral("pactl is not installed (Debian package pulseaudio-utils)");
    return {};
}

QString PulseServer::address() const {
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("native"));
}

QString PulseServer::log() const {
    QFile file(m_dir.filePath(QStringLiteral("pulse.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(2000))
                                          : QString();
}

bool PulseServer::start(const QStringList& sinks) {
    stop();
    QStringList arguments{QStringLiteral("--daemonize=no"),
                          QStringLiteral("--exit-idle-time=-1"),
                          QStringLiteral("-n"),
                          QStringLiteral("--use-pid-file=no"),
                          QStringLiteral("--realtime=no"),
                          QStringLiteral("--high-priority=no"),
                          QStringLiteral("--log-target=stderr")};
    for (const QString& sink : sinks)
        arguments << QStringLiteral("--load=module-null-sink sink_name=%1").arg(sink);
    arguments << QStringLiteral("--load=module-null-source source_name=mic")
              << QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=%1")
                     .arg(m_dir.filePath(QStringLiteral("native")));
    m_server.start(QStringLiteral("pulseaudio"), arguments);
    if (!m_server.waitForStarted(10000))
        return false;
    if (!waitUntil([&] { return !running() || pactl({QStringLiteral("info")}) == 0; }, 15000) ||
        !running())
        return false;
    if (sinks.isEmpty())
        return true;
    for (const QString& sink : sinks)
        if (!setSinkVolume(sink, QStringLiteral("19661")))
            return false;
    return setDefaultSink(sinks.front()) &&
           pactl({QStringLiteral("set-default-source"), QStringLiteral("mic")}) == 0;
}

void PulseServer::freeze() {
    if (running())
        ::kill(pid_t(m_server.processId()), SIGSTOP);
}

void PulseServer::thaw() {
    if (running())
        ::kill(pid_t(m_server.processId()), SIGCONT);
}

void PulseServer::stop() {
    if (!running())
        return;
    m_server.kill();
    m_server.waitForFinished(10000);
}

QProcessEnvironment PulseServer::pactlEnvironment() const {
    return privateEnvironment(m_dir.path());
}

} // namespace nuvok::test
