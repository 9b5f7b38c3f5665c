#include "session/remotesession.h"
#include "session/remotesession_slot.h"

#include "common/failure.h"
#include "mixer/clsvolume.h"
#include "remote/deferredactions.h"
#include "remote/volumesteps.h"
#include "session/failuretext.h"
#include "shell/desktopcontrol.h"
#include "shell/mediaplayers.h"

// The peers' work for a key: volume steps on the sound server's queue,
// activations and keystrokes on the players' queue, and what they left.

namespace {

// The actions of a peer's work, on the peer's thread: the desktop, the
// players and the volume are asked and wait there, and the lines are kept
// for the owner's thread.
class PeerWork : public nuvok::RemoteActions {
public:
    PeerWork(PeerOutcome& outcome, nuvok::DesktopControl* desktop, clsVolume* volume)
        : m_outcome(outcome), m_desktop(desktop), m_volume(volume) {}

    void logData(const std::string& strText) override {
        m_outcome.lines.append(QString::fromStdString(strText));
    }
    void VolIncr() override { step(true); }
    void VolDecr() override { step(false); }
    void activateWindow(const std::string& title) override { m_desktop->activateWindow(title); }
    void sendKeys(const std::string& keys) override { m_desktop->sendKeys(keys); }
    // Not peer work: the interpreter hands these to the session at once.
    void sendCMD(const std::string&) override {}
    void scheduleDoorPulseEnd() override {}
    void showMode(const std::string&) override {}

private:
    void step(bool up) {
        const std::string name = up ? "Vol+" : "Vol-";
        if (!m_volume)
            throw nuvok::Failure("Volume not changed (" + name +
                                 "): the mixer has not been opened yet");
        const nuvok::VolumeStep step =
            up ? nuvok::volumeStepUp(*m_volume) : nuvok::volumeStepDown(*m_volume);
        if (!step.notice.empty())
            logData(step.notice);
        m_outcome.peerSilent = !step.made && m_volume->keyTimedOut();
        if (step.made)
            m_outcome.volume = step.level;
        if (!step.made)
            throw nuvok::Failure("Volume not changed (" + name + "): " + step.failure);
    }

    PeerOutcome& m_outcome;
    nuvok::DesktopControl* m_desktop;
    clsVolume* m_volume;
};

PeerOutcome outcomeOf(const std::function<void(PeerOutcome&)>& work) {
    PeerOutcome outcome;
    try {
        work(outcome);
    } catch (...) {
        outcome.failure = failureText(std::current_exception());
    }
    return outcome;
}

} // namespace

void RemoteSession::VolIncr() {
    post({nuvok::Peer::SoundServer, RemoteState, {{nuvok::PeerStep::Kind::VolumeUp, {}}}});
}

void RemoteSession::VolDecr() {
    post({nuvok::Peer::SoundServer, RemoteState, {{nuvok::PeerStep::Kind::VolumeDown, {}}}});
}

void RemoteSession::post(const nuvok::PeerJob& job) {
    const QString name = QString::fromStdString(nuvok::peerJobName(job));
    PeerQueue* queue = job.peer == nuvok::Peer::SoundServer ? m_soundServer : m_playerQueue;
    const auto done = [this, name, peer = queue->peer()](const PeerOutcome& outcome) {
        report(name, peer, outcome);
    };
    if (job.peer == nuvok::Peer::SoundServer) {
        m_soundServer->post(
            [job, slot = m_slot] {
                return outcomeOf([&](PeerOutcome& outcome) {
                    const std::shared_ptr<clsVolume> volume = slot->get();
                    PeerWork work(outcome, nullptr, volume.get());
                    nuvok::runPeerJob(job, work);
                });
            },
            done);
        return;
    }
    // Read at every key code, as the settings may name other players.
    const nuvok::PlayerTitles titles = this->titles();
    m_playerQueue->post(
        [job, titles, rule = playerControl, desktop = m_desktop, players = m_players,
         ways = m_playerWays] {
            return outcomeOf([&](PeerOutcome& outcome) {
                PeerWork work(outcome, desktop.get(), nullptr);
                nuvok::PlayerReach reach(work, players.get(), rule, job.state, titles, *ways);
                nuvok::runPeerJob(job, reach);
            });
        },
        done);
}

void RemoteSession::findPlayers(std::function<void(const QString&)> said) {
    const std::vector<std::pair<QString, std::string>> wanted{
        {QStringLiteral("The video player"), strVideoTitle.toStdString()},
        {QStringLiteral("The audio player"), strAudioTitle.toStdString()}};
    m_playerQueue->post(
        [wanted, rule = playerControl, desktop = m_desktop, players = m_players] {
            return outcomeOf([&](PeerOutcome& outcome) {
                for (const auto& [which, title] : wanted)
                    outcome.lines << QStringLiteral("%1, \"%2\": %3")
                                         .arg(which, QString::fromStdString(title),
                                              QString::fromStdString(nuvok::playerWhereabouts(
                                                  desktop.get(), players.get(), rule, title)));
            });
        },
        [said = std::move(said)](const PeerOutcome& outcome) {
            said(outcome.failure.isEmpty()
                     ? outcome.lines.join(QLatin1Char('\n'))
                     : QStringLiteral("The players cannot be looked for now: %1")
                           .arg(outcome.failure));
        });
}

// The lines the work wrote, then why it stopped: the peer's own words, or
// for work that never reached the peer, which key's action it was.
void RemoteSession::report(const QString& jobName, const QString& peer,
                           const PeerOutcome& outcome) {
    if (outcome.late) {
        log(QStringLiteral("%1: done after all, %2 answered late").arg(jobName, peer));
        return;
    }
    for (const QString& line : outcome.lines)
        log(line);
    if (outcome.volume) {
        m_feedback->volumeStepped(*outcome.volume);
        emit volumeShown(outcome.volume->percent);
    }
    if (outcome.failure.isEmpty())
        return;
    const QString line = outcome.notRun
                             ? QStringLiteral("%1 not done: %2").arg(jobName, outcome.failure)
                             : outcome.failure;
    log(line);
    m_feedback->failure(line);
}
