#include "support/pipewireserver.h"

#include "support/eventwait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace nuvok::test {

namespace {

// Every wait below is for an answer that comes within milliseconds on an
// idle machine; the bound is for a loaded one.
constexpr int kAnswerMs = 10000;

// Polls at a short interval, so that a wait that asks a program each time
// does not start one after another without a pause.
bool pollUntil(const std::function<bool()>& condition, int timeoutMs = kAnswerMs) {
    return waitUntil(
        [&] {
            if (condition())
                return true;
            QThread::msleep(10);
            return false;
        },
        timeoutMs);
}

QProcessEnvironment privateEnvironment(const QString& dir, const QString& busAddress) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), dir + QStringLiteral("/home"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir + QStringLiteral("/runtime"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), dir + QStringLiteral("/state"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir + QStringLiteral("/data"));
    if (!busAddress.isEmpty())
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    // Nothing of the calling session: its display, its own PipeWire and
    // PulseAudio, configuration folders that would replace the private one.
    for (const char* name :
         {"DISPLAY", "WAYLAND_DISPLAY", "PULSE_SERVER", "PULSE_SINK", "PULSE_SOURCE",
          "PULSE_RUNTIME_PATH", "PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR", "PIPEWIRE_CONFIG_DIR",
          "PIPEWIRE_DEBUG", "WIREPLUMBER_CONFIG_DIR", "WIREPLUMBER_DEBUG"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

// The installed WirePlumber's version as major * 100 + minor (4 for 0.4,
// 5 for 0.5); 0 when it cannot be told.
int sessionManagerVersion() {
    QProcess process;
    process.start(QStringLiteral("wireplumber"), {QStringLiteral("--version")});
    if (!process.waitForFinished(kAnswerMs))
        return 0;
    static const QRegularExpression version(QStringLiteral(R"(libwireplumber (\d+)\.(\d+))"));
    const QRegularExpressionMatch match =
        version.match(QString::fromUtf8(process.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() * 100 + match.captured(2).toInt() : 0;
}

bool writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

PipeWireServer::PipeWireServer() {
    for (const char* folder : {"home", "runtime", "config", "state", "data"})
        QDir(m_dir.path()).mkpath(QString::fromLatin1(folder));
    QFile::setPermissions(m_dir.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeSessionManagerConfig();
    writePulseConfig();
    const QString log = m_dir.filePath(QStringLiteral("pipewire.log"));
    for (QProcess* process : {&m_bus, &m_server, &m_sessionManager, &m_pulse}) {
        process->setStandardErrorFile(log, QIODevice::Append);
        // The bus's address comes on its standard output.
        if (process != &m_bus)
            process->setStandardOutputFile(log, QIODevice::Append);
    }
}

PipeWireServer::~PipeWireServer() {
    stop();
}

QString PipeWireServer::missing() {
    const QList<std::pair<QString, QString>> programs{
        {QStringLiteral("pipewire"), QStringLiteral("pipewire")},
        {QStringLiteral("wireplumber"), QStringLiteral("wireplumber")},
        {QStringLiteral("pactl"), QStringLiteral("pulseaudio-utils")},
        {QStringLiteral("dbus-daemon"), QStringLiteral("dbus-daemon")},
    };
    for (const auto& [program, package] : programs)
        if (QStandardPaths::findExecutable(program).isEmpty())
            return QStringLiteral("%1 is not installed (Debian package %2)").arg(program, package);
    return {};
}

// The session manager's configuration differs between the versions: Lua
// files for 0.4 (Debian 12), a profile in SPA-JSON for 0.5 (Debian 13). Both
// turn off the hardware monitors, and with them the look at the login seat
// (which would keep Bluetooth and, in 0.5, more away from a user without an
// active seat, as a test run has).
void PipeWireServer::writeSessionManagerConfig() {
    const QString folder = m_dir.filePath(QStringLiteral("config/wireplumber"));
    if (sessionManagerVersion() >= 5) {
        writeFile(folder + QStringLiteral("/wireplumber.conf.d/50-test.conf"),
                  "wireplumber.profiles = {\n"
                  "  main = {\n"
                  "    hardware.audio = disabled\n"
                  "    hardware.bluetooth = disabled\n"
                  "    hardware.video-capture = disabled\n"
                  "    monitor.alsa = disabled\n"
                  "    monitor.alsa-midi = disabled\n"
                  "    monitor.bluez = disabled\n"
                  "    monitor.bluez-midi = disabled\n"
                  "    monitor.v4l2 = disabled\n"
                  "    monitor.libcamera = disabled\n"
                  "    support.logind = disabled\n"
                  "  }\n"
                  "}\n");
    } else {
        // After the 50- files that enable the monitors, before 90-enable-all.
        writeFile(folder + QStringLiteral("/main.lua.d/51-test.lua"),
                  "alsa_monitor.enabled = false\n"
                  "v4l2_monitor.enabled = false\n"
                  "libcamera_monitor.enabled = false\n");
        writeFile(folder + QStringLiteral("/bluetooth.lua.d/51-test.lua"),
                  "bluez_monitor.enabled = false\n");
    }
}

// The PulseAudio service is the server program with the protocol module
// (from the pipewire package's modules), as Debian's pipewire-pulse.conf has
// it; the same configuration serves PipeWire 0.3 and 1.x. Package
// pipewire-pulse is not needed for it, and not installed for the tests: on a
// desktop that runs PulseAudio it would take over the session's sound at the
// next login.
void PipeWireServer::writePulseConfig() {
    writeFile(m_dir.filePath(QStringLiteral("config/pulse-service.conf")),
              "context.spa-libs = {\n"
              "  audio.convert.* = audioconvert/libspa-audioconvert\n"
              "  support.* = support/libspa-support\n"
              "}\n"
              "context.modules = [\n"
              "  { name = libpipewire-module-protocol-native }\n"
              "  { name = libpipewire-module-client-node }\n"
              "  { name = libpipewire-module-adapter }\n"
              "  { name = libpipewire-module-metadata }\n"
              "  { name = libpipewire-module-protocol-pulse }\n"
              "]\n"
              "pulse.cmd = [\n"
              "  { cmd = \"load-module\" args = \"module-always-sink\" flags = [ ] }\n"
              "]\n"
              "pulse.properties = {\n"
              "  server.address = [ \"unix:native\" ]\n"
              "}\n");
}

QString PipeWireServer::address() const {
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("runtime/pulse/native"));
}

QString PipeWireServer::log() const {
    QFile file(m_dir.filePath(QStringLiteral("pipewire.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll().right(3000))
                                          : QString();
}

bool PipeWireServer::startProcess(QProcess& process, const QString& program,
                                  const QStringList& arguments) {
    process.setProcessEnvironment(privateEnvironment(m_dir.path(), m_busAddress));
    process.start(program, arguments);
    return process.waitForStarted(kAnswerMs);
}

void PipeWireServer::end(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kAnswerMs)) {
        process.kill();
        process.waitForFinished(kAnswerMs);
    }
}

bool PipeWireServer::start(const QStringList& sinks) {
    stop();
    m_sinks = sinks;
    // The session bus first: the session manager and the server look for
    // services on it (the device reservation, the portal).
    if (!startProcess(
            m_bus, QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"),
             QStringLiteral("--address=unix:path=") + m_dir.filePath(QStringLiteral("runtime/bus")),
             QStringLiteral("--print-address=1")}) ||
        !pollUntil([&] { return m_bus.canReadLine() || m_bus.state() == QProcess::NotRunning; }) ||
        !m_bus.canReadLine())
        return false;
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();

    // The server is there once its socket is.
    const QString socket = m_dir.filePath(QStringLiteral("runtime/pipewire-0"));
    if (!startProcess(m_server, QStringLiteral("pipewire"), {}) || !pollUntil([&] {
            return QFile::exists(socket) || m_server.state() == QProcess::NotRunning;
        }) ||
        m_server.state() == QProcess::NotRunning)
        return false;
    return startProcess(m_sessionManager, QStringLiteral("wireplumber"), {}) && startPulse();
}

void PipeWireServer::stop() {
    for (QProcess* process : {&m_pulse, &m_sessionManager, &m_server, &m_bus})
        end(*process);
    m_busAddress.clear();
}

void PipeWireServer::stopPulse() {
    end(m_pulse);
}

bool PipeWireServer::startPulse() {
    end(m_pulse);
    if (!startProcess(
            m_pulse, QStringLiteral("pipewire"),
            {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("config/pulse-service.conf"))}) ||
        !pollUntil([&] {
            return m_pulse.state() == QProcess::NotRunning || pactl({QStringLiteral("info")}) == 0;
        }) ||
        m_pulse.state() == QProcess::NotRunning)
        return false;
    return makeSinks();
}

// The service's clients from now on find no default sink; one that was
// connected before may still be told the old one.
void PipeWireServer::stopSessionManager() {
    end(m_sessionManager);
    pollUntil([&] { return !m_sinks.contains(defaultSink()); });
}

bool PipeWireServer::startSessionManager() {
    return startProcess(m_sessionManager, QStringLiteral("wireplumber"), {}) &&
           defaultIsFirstSink() && levelSinks();
}

// The sinks live in the PulseAudio service: they are made again whenever it
// starts. Without the session manager none of them is the default, and
// PipeWire 1.4 takes no level for them either: a null sink runs only once
// the session manager has given it a driver. So they keep running while
// nothing plays to them (a suspended one may drop a level too), and get
// their level once the session manager runs.
bool PipeWireServer::makeSinks() {
    for (const QString& sink : m_sinks)
        if (pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=") + sink,
                   QStringLiteral("sink_properties=node.always-process=true")}) != 0)
            return false;
    return m_sinks.isEmpty() || m_sessionManager.state() == QProcess::NotRunning ||
           (defaultIsFirstSink() && levelSinks());
}

// Every sink at 19661 (30 %), set until it holds.
bool PipeWireServer::levelSinks() {
    return pollUntil([&] {
        for (const QString& sink : m_sinks) {
            const QList<long> volumes = sinkVolumes(sink);
            if (volumes.isEmpty() ||
                !std::all_of(volumes.begin(), volumes.end(), [](long v) { return v == 19661; })) {
                setSinkVolume(sink, QStringLiteral("19661"));
                return false;
            }
        }
        return true;
    });
}

// The default is the session manager's to keep: until it has taken up the
// server, setting it fails, so it is set until it holds.
bool PipeWireServer::defaultIsFirstSink() {
    return pollUntil([&] {
        return m_sessionManager.state() != QProcess::NotRunning &&
               (defaultSink() == m_sinks.front() ||
                (setDefaultSink(m_sinks.front()) && defaultSink() == m_sinks.front()));
    });
}

QProcessEnvironment PipeWireServer::pactlEnvironment() const {
    return privateEnvironment(m_dir.path(), m_busAddress);
}

} // namespace nuvok::test
