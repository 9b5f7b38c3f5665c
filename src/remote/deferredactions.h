#pragma once

#include "remote/remoteactions.h"
#include "remote/remotestate.h"

#include <string>
#include <vector>

namespace nuvok {

// The peers whose answers a key may have to wait for. Each has a queue of its
// own, so that one that hangs holds up none of the others.
enum class Peer { SoundServer, Players };

// One thing a key asks of a peer, or a log line that is written once the
// peer's work before it is done.
struct PeerStep {
    enum class Kind { Log, VolumeUp, VolumeDown, Activate, Keys };
    Kind kind;
    std::string text; // the line, the title or the keys
};

// What one key code leaves for one peer: its steps in order, and the
// interpreter's state as the key code saw it when it asked, which is what the
// players' rules read when the work is done later.
struct PeerJob {
    Peer peer;
    RemoteState state;
    std::vector<PeerStep> steps;
};

// The interpreter's actions for one key code, split by when they happen. The
// state steps, controller commands, the door pulse and the mode display go to
// `now` at once; the volume steps, activations and keystrokes become jobs for
// their peer, together with the lines the key's row writes after them.
class DeferredActions : public RemoteActions {
public:
    DeferredActions(RemoteActions& now, const RemoteState& state) : m_now(now), m_state(state) {}

    void logData(const std::string& strText) override;
    void sendCMD(const std::string& strData) override { m_now.sendCMD(strData); }
    void scheduleDoorPulseEnd() override { m_now.scheduleDoorPulseEnd(); }
    void VolIncr() override { ask(Peer::SoundServer, {PeerStep::Kind::VolumeUp, {}}); }
    void VolDecr() override { ask(Peer::SoundServer, {PeerStep::Kind::VolumeDown, {}}); }
    void activateWindow(const std::string& title) override {
        ask(Peer::Players, {PeerStep::Kind::Activate, title});
    }
    void sendKeys(const std::string& keys) override {
        ask(Peer::Players, {PeerStep::Kind::Keys, keys});
    }
    void showMode(const std::string& text) override { m_now.showMode(text); }
    void endOfRow() override { m_open = false; }

    std::vector<PeerJob> takeJobs() { return std::move(m_jobs); }

private:
    void ask(Peer peer, PeerStep step);

    RemoteActions& m_now;
    const RemoteState& m_state;
    std::vector<PeerJob> m_jobs;
    bool m_open = false; // lines of the row go to the last job
};

// Carries out a job's steps in order against `target`: lines to its logData,
// the rest to the matching action. What the target throws ends the job there.
void runPeerJob(const PeerJob& job, RemoteActions& target);

// What a job was for, to name it in the log when it could not be done: the
// row's first line after its peer work ("Vol+", "[C] Pause"), or else what it
// asked for.
std::string peerJobName(const PeerJob& job);

} // namespace nuvok
