#pragma once

// A private PipeWire sound server for tests, as a desktop session runs it:
// the server, its session manager (WirePlumber) and its PulseAudio service
// (as pipewire-pulse runs it), on a session bus of their own, with their sockets,
// configuration and state in a folder of their own. The session manager's
// hardware monitors (sound cards, Bluetooth, cameras) and its look at the
// login seat are off, so that it runs headless and leaves the machine's own
// devices alone: the only devices are the null sinks made with pactl, each at
// the raw volume 19661 (30 %). The service and the session manager can be
// stopped and started again on their own, as on a running desktop.

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace nuvok::test {

class PipeWireServer {
public:
    PipeWireServer();
    ~PipeWireServer();
    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    // Why no server can run here (programs missing); empty when one can.
    static QString missing();

    // Starts everything with these null sinks, the first one the default;
    // true when the service answers and the default is the first sink.
    bool start(const QStringList& sinks = {QStringLiteral("spk")});
    // Ends everything at once.
    void stop();

    // Ends the PulseAudio service, as `systemctl --user stop pipewire-pulse`
    // does;
    // its null sinks end with it.
    void stopPulse();
    // Starts the service again and makes the null sinks again, the first one
    // the default while the session manager runs, as a restarted service
    // finds the devices again.
    bool startPulse();
    // Ends the session manager: the server then has no default devices for
    // the clients that come after (PipeWire 0.3 still tells a client that
    // was connected before of the default it had).
    void stopSessionManager();
    // Starts it again; true once it has chosen the first sink as the default
    // and every sink is at 19661 again.
    bool startSessionManager();

    // The address clients are given in PULSE_SERVER.
    QString address() const;
    QString log() const;

    bool setDefaultSink(const QString& sink);
    bool setSinkVolume(const QString& sink, const QString& volume);
    // The raw volume of every channel of a sink; empty when it cannot be read.
    QList<long> sinkVolumes(const QString& sink);
    // The default sink's name, as the service tells it; empty when it does not answer.
    QString defaultSink();

private:
    bool startProcess(QProcess& process, const QString& program, const QStringList& arguments);
    static void end(QProcess& process);
    bool makeSinks();
    bool levelSinks();
    bool defaultIsFirstSink();
    void writeSessionManagerConfig();
    void writePulseConfig();
    int pactl(const QStringList& arguments, QByteArray* output = nullptr);

    QTemporaryDir m_dir;
    QString m_busAddress;
    QStringList m_sinks;
    QProcess m_bus;
    QProcess m_server;
    QProcess m_sessionManager;
    QProcess m_pulse;
};

} // namespace nuvok::test
