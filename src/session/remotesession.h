#pragma once

#include "input/controllertrust.h"
#include "input/keyinput.h"
#include "net/controllerlink.h"
#include "remote/playerreach.h"
#include "remote/remotestate.h"
#include "session/desktopfeedback.h"
#include "session/peerqueue.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class clsVolume;

namespace nuvok {
class MixerBackend;
class DesktopControl;
class MediaPlayers;
struct PeerJob;
} // namespace nuvok

// How long each peer may take before it counts as hung, and whether the
// peers get threads of their own (the program) or run their work at once
// (tests of what a key does, which read the log right after the key).
struct PeerTimes {
    // Beyond the sound server's own 500 ms per round trip, which already
    // tells a hung server: the queue's deadline is the backstop.
    int soundServerDeadlineMs = 2000;
    int playersDeadlineMs = 3000; // an activation waits up to 2 s for the focus
    int probeIntervalMs = 2000;
    bool ownThreads = true;
};

// A run of the remote control without any widget: the key interpreter and
// its state for the keys of every input, in the order they arrive, the
// players, the volume and the link to the controller with the door pulse. Every peer that may hang
// is reached through a queue of its own, so that a key never waits for a peer: the interpreter's
// state steps happen at once, in key order, and a peer's work and the lines of its row are done
// when the peer answers. What happened reaches the view as signals.
class RemoteSession : public QObject {
    Q_OBJECT

public:
    RemoteSession(std::shared_ptr<nuvok::DesktopControl> desktop,
                  std::shared_ptr<nuvok::MediaPlayers> players, PeerTimes times,
                  QObject* parent = nullptr);
    ~RemoteSession() override;

    // An input whose keys the session takes from now on; it becomes the
    // session's, and is ended with the run.
    void addInput(KeyInput* input);
    // Who may make the controller act, for every input. Whenever a sender
    // anyone can forge may open the door through an input (now, or after
    // the input changed), one line warns of it.
    void setControllerTrust(const ControllerTrust& trust);
    // One key code through the interpreter at once, from a sender with these
    // rights (by default the program's own).
    void doRC(int iCommand, const nuvok::KeyOrigin& origin = {}) {
        interpretCode(iCommand, origin);
    }
    // One volume step on the sound server's queue; its line comes when it is done.
    void VolIncr();
    void VolDecr();
    void setVolume(std::shared_ptr<clsVolume> volume);
    // Opens the mixer from `mixer` on the sound server's queue, so that a
    // server that hangs at start-up holds up nothing else; `done` gets what
    // the volume object had to say (no mixer found), once it is the session's.
    using MixerFactory = std::function<std::unique_ptr<nuvok::MixerBackend>()>;
    void openVolume(MixerFactory mixer, std::function<void(const QStringList&)> done);
    const std::shared_ptr<clsVolume>& volume() const { return m_volume; }

    // Controller commands: queued, the number returned at once.
    quint64 sendCMD(const QString& strData);
    ControllerLink* controllerLink() const { return m_link; }
    // Where controller commands go: the build's address unless the settings
    // name another (read at start-up).
    void setController(const QString& host, float port);
    QString controllerHost() const { return m_controllerHost; }
    float controllerPort() const { return m_controllerPort; }

    // The end of the run: commands not yet through are named and dropped, a
    // door left open by a pulse is closed (bounded), and the peers' threads
    // are let go. Nothing after it reaches a peer.
    void end();

    // The desktop's bubbles: the volume level, the mode chosen, failures.
    DesktopFeedback* feedback() const { return m_feedback; }

    // What the mode display shows now (the last modeShown).
    const QString& shownMode() const { return m_shownMode; }

    nuvok::RemoteState RemoteState; // the key interpreter's mode state
    QString strAudioTitle;
    QString strVideoTitle;
    // The title the "6" key looks for: fixed, unless the user set an audio title.
    QString nextSongTitle = QStringLiteral("Winamp");
    nuvok::PlayerControl playerControl = nuvok::PlayerControl::Auto;

    // Looks for the video and the audio player as keys would, behind the
    // players' other work, and says in words where each is: told to `said`
    // on this thread, also when the players do not answer.
    void findPlayers(std::function<void(const QString& text)> said);

signals:
    void logLine(const QString& line);
    void modeShown(const QString& text);
    // A volume step was made: the level it left.
    void volumeShown(int percent);
    // A key message is being handled (true), or that is over (false).
    void busy(bool handling);

private:
    class NowActions;
    void take(KeyInput& input, const KeyArrival& arrival);
    void warnOfDoorGap(KeyInput& input, bool trustSet = false);
    void post(const nuvok::PeerJob& job);
    void report(const QString& jobName, const QString& peer, const PeerOutcome& outcome);
    void log(const QString& line) { emit logLine(line); }
    void startDoorPulse(quint64 openCommand, bool queued);
    void commandThrough(quint64 id);
    void endDoorPulse();
    void announceMode(int iCommand, const nuvok::RemoteState& before);
    // Runs one key through the interpreter; the volume step it asked for, if any.
    std::optional<nuvok::MediaKey> interpret(int iCommand,
                                             const std::function<void(nuvok::RemoteActions&)>& key);
    std::optional<nuvok::MediaKey> interpretCode(int iCommand, const nuvok::KeyOrigin& origin);
    nuvok::PlayerTitles titles() const;

    QList<KeyInput*> m_inputs;
    std::shared_ptr<nuvok::DesktopControl> m_desktop;
    std::shared_ptr<nuvok::MediaPlayers> m_players;
    // Touched only by the players' queue, whose work runs one at a time.
    std::shared_ptr<nuvok::PlayerWays> m_playerWays;
    std::shared_ptr<clsVolume> m_volume; // as the view and the tests see it
    // The volume object as the sound server's thread uses it.
    struct VolumeSlot;
    std::shared_ptr<VolumeSlot> m_slot;
    bool m_ownThreads = true;
    PeerQueue* m_soundServer = nullptr;
    PeerQueue* m_playerQueue = nullptr;

    ControllerLink* m_link = nullptr;
    QString m_controllerHost;
    float m_controllerPort = 0;
    QTimer m_doorTimer;
    quint64 m_doorOpenCommand = 0; // the on whose end starts the pause; 0 once it is through
    ControllerLink::Destination m_doorController; // where the pulse's on went: its off goes there
    // How long the door's off may hold the end of the program.
    static constexpr int kDoorCloseAtExitMs = 1000;
    DesktopFeedback* m_feedback = nullptr;
    QString m_announcedMode = QStringLiteral("Idle"); // the last mode a bubble named
    // The inputs whose door warning stands for them as they are.
    QSet<const KeyInput*> m_doorGapWarned;
    bool m_ended = false;
    QString m_shownMode = QStringLiteral("mode");
};
