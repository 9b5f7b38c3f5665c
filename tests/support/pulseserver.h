#pragma once

// A private PulseAudio server for tests: its socket, cookie and state live in
// a folder of its own, and it can be stopped and started again on the same
// socket, as a sound server restarts under a running session. Every sink is a
// null sink and starts at the raw volume 19661 (30 %).

#include "support/soundservercontrol.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace nuvok::test {

class PulseServer : public SoundServerControl {
public:
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Why no server can run here (programs missing); empty when one can.
    static QString missing();

    // Starts the server with these null sinks, the first one the default,
    // and one null source "mic"; true when it answers.
    bool start(const QStringList& sinks = {QStringLiteral("spk")});
    // Ends the server at once, as a crash or a restart does.
    void stop();
    // Holds the server still, as a server that hangs does, and lets it go on.
    void freeze();
    void thaw();
    bool running() const { return m_server.state() != QProcess::NotRunning; }

    QString address() const override;
    QString log() const;

private:
    QProcessEnvironment pactlEnvironment() const override;

    QTemporaryDir m_dir;
    QProcess m_server;
};

} // namespace nuvok::test
