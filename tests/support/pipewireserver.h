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

#include "support/soundservercontrol.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace nuvok::test {

class PipeWireServer : public SoundServerControl {
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

    QString address() const override;
    QString log() const;

private:
    bool startProcess(QProcess& process, const QString& program, const QStringList& arguments);
    static void end(QProcess& process);
    bool makeSinks();
    bool levelSinks();
    bool defaultIsFirstSink();
    void writeSessionManagerConfig();
    void writePulseConfig();
    QProcessEnvironment pactlEnvironment() const override;

    QTemporaryDir m_dir;
    QString m_busAddress;
    QStringList m_sinks;
    QProcess m_bus;
    QProcess m_server;
    QProcess m_sessionManager;
    QProcess m_pulse;
};

} // namespace nuvok::test
