#include "session/remotesession.h"
#include "session/remotesession_slot.h"

#include "common/failure.h"
#include "common/keytimes.h"
#include "common/numtext.h"
#include "mixer/clsvolume.h"
#include "remote/deferredactions.h"
#include "remote/remoteinterpreter.h"
#include "session/failuretext.h"

#include <utility>

// What the interpreter does at once: lines, controller commands, the door
// pulse and the mode display.
class RemoteSession::NowActions : public nuvok::RemoteActions {
public:
    explicit NowActions(RemoteSession& session)
        : NowActions(session, ControllerLink::Admission::Bounded, session.m_link->destination()) {}
    NowActions(RemoteSession& session, ControllerLink::Admission admission,
               ControllerLink::Destination to)
        : m_session(session), m_admission(admission), m_to(std::move(to)) {}

    void logData(const std::string& strText) override {
        m_session.log(QString::fromStdString(strText));
    }
    void sendCMD(const std::string& strData) override {
        m_lastQueued =
            m_admission == ControllerLink::Admission::Always || !m_session.m_link->full();
        m_lastCommand = m_session.m_link->send(QString::fromStdString(strData), m_admission, m_to);
    }
    void scheduleDoorPulseEnd() override { m_session.startDoorPulse(m_lastCommand, m_lastQueued); }
    void showMode(const std::string& text) override {
        m_session.m_shownMode = QString::fromStdString(text);
        emit m_session.modeShown(m_session.m_shownMode);
    }
    // Peer work never comes here: the deferred actions make jobs of it.
    void VolIncr() override {}
    void VolDecr() override {}
    void activateWindow(const std::string&) override {}
    void sendKeys(const std::string&) override {}

private:
    RemoteSession& m_session;
    ControllerLink::Admission m_admission;
    ControllerLink::Destination m_to;
    quint64 m_lastCommand = 0;
    bool m_lastQueued = false;
};

RemoteSession::RemoteSession(std::shared_ptr<nuvok::DesktopControl> desktop,
                             std::shared_ptr<nuvok::MediaPlayers> players, PeerTimes times,
                             QObject* parent)
    : QObject(parent), m_desktop(std::move(desktop)), m_players(std::move(players)),
      m_playerWays(std::make_shared<nuvok::PlayerWays>()), m_slot(std::make_shared<VolumeSlot>()),
      m_ownThreads(times.ownThreads) {
    PeerQueue::Options sound;
    sound.deadlineMs = times.soundServerDeadlineMs;
    sound.probeIntervalMs = times.probeIntervalMs;
    sound.ownThread = times.ownThreads;
    // The probe of a hung server is one read of the level.
    m_soundServer = new PeerQueue(
        QStringLiteral("the sound server"), sound,
        [slot = m_slot] {
            const std::shared_ptr<clsVolume> volume = slot->get();
            if (volume)
                volume->readWaveForKey();
            return !volume || !volume->keyTimedOut();
        },
        this);
    PeerQueue::Options reach = sound;
    reach.deadlineMs = times.playersDeadlineMs;
    // A player that hangs is found again by the next key that reaches it.
    m_playerQueue = new PeerQueue(QStringLiteral("the player"), reach, {}, this);
    for (PeerQueue* queue : {m_soundServer, m_playerQueue}) {
        connect(queue, &PeerQueue::hangs, this, &RemoteSession::log);
        connect(queue, &PeerQueue::answers, this, &RemoteSession::log);
    }

    m_feedback = new DesktopFeedback({}, this);
    connect(m_feedback, &DesktopFeedback::logLine, this, &RemoteSession::log);

    m_link = new ControllerLink(this);
    connect(m_link, &ControllerLink::delivered, this, &RemoteSession::commandThrough);
    connect(m_link, &ControllerLink::failed, this,
            [this](quint64 id, const QString& text, const QString& reason) {
                const QString line =
                    ControllerLink::notDeliveredLine({text}, reason, m_link->lastDestination());
                log(line);
                m_feedback->failure(line);
                commandThrough(id);
            });
    m_doorTimer.setSingleShot(true);
    m_doorTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_doorTimer, &QTimer::timeout, this, &RemoteSession::endDoorPulse);
}

RemoteSession::~RemoteSession() {
    // The view may be going first: what the queues say from here on is not shown.
    blockSignals(true);
    for (KeyInput* input : std::as_const(m_inputs))
        input->disconnect(this);
    m_soundServer->stop();
    m_playerQueue->stop();
}

void RemoteSession::setController(const QString& host, float port) {
    m_controllerHost = host;
    m_controllerPort = port;
    m_link->setController(host, nuvok::roundHalfEvenToInt32(port));
}

quint64 RemoteSession::sendCMD(const QString& strData) {
    return m_link->send(strData);
}

void RemoteSession::setVolume(std::shared_ptr<clsVolume> volume) {
    m_volume = volume;
    m_slot->set(std::move(volume));
}

namespace {

// Keeps the no-mixer message until the volume object is the session's.
class HeldNotifier : public nuvok::Notifier {
public:
    void showMessage(const std::string& text) override {
        messages.append(QString::fromStdString(text));
    }
    QStringList messages;
};

} // namespace

void RemoteSession::openVolume(MixerFactory mixer, std::function<void(const QStringList&)> done) {
    m_soundServer->post(
        [slot = m_slot, mixer = std::move(mixer)] {
            HeldNotifier held;
            slot->set(std::make_shared<clsVolume>(mixer ? mixer() : nullptr, held));
            PeerOutcome outcome;
            outcome.lines = held.messages;
            return outcome;
        },
        [this, done = std::move(done)](const PeerOutcome& outcome) {
            if (!outcome.failure.isEmpty()) {
                log(QStringLiteral("The mixer could not be opened: %1").arg(outcome.failure));
                return;
            }
            m_volume = m_slot->get();
            if (m_volume && !m_volume->microphoneNote().empty())
                log(QString::fromStdString(m_volume->microphoneNote()));
            // A no-mixer box waits for the user: not inside the queue's answer.
            if (m_ownThreads)
                QMetaObject::invokeMethod(
                    this, [done, messages = outcome.lines] { done(messages); },
                    Qt::QueuedConnection);
            else
                done(outcome.lines);
        });
}

void RemoteSession::addInput(KeyInput* input) {
    input->setParent(this);
    m_inputs.append(input);
    connect(input, &KeyInput::arrived, this,
            [this, input](const KeyArrival& arrival) { take(*input, arrival); });
    connect(input, &KeyInput::logLine, this, &RemoteSession::log);
    connect(input, &KeyInput::reachChanged, this, [this, input] { warnOfDoorGap(*input); });
    connect(input, &KeyInput::trustChanged, this, [this, input] { warnOfDoorGap(*input, true); });
    if (m_ended)
        input->end();
}

void RemoteSession::setControllerTrust(const ControllerTrust& trust) {
    for (KeyInput* input : std::as_const(m_inputs))
        input->setTrust(trust);
}

// Said when the gap opens, not again while it stays open unless the trust is
// set anew; its closing is said too.
void RemoteSession::warnOfDoorGap(KeyInput& input, bool trustSet) {
    const QString warning = input.forgedSenderWarning();
    if (warning.isEmpty()) {
        // The user who read the warning learns that it no longer holds.
        if (m_doorGapWarned.remove(&input))
            log(QStringLiteral("The door warning no longer holds: a forged sender cannot open "
                               "the door now"));
        return;
    }
    if (trustSet || !m_doorGapWarned.contains(&input))
        log(warning);
    m_doorGapWarned.insert(&input);
}

// One arrival from an input: busy, its log line, the interpreter, what the
// key did for the input, idle. Whatever fails is one line, and the next
// arrival is taken as usual.
void RemoteSession::take(KeyInput& input, const KeyArrival& arrival) {
    emit busy(true);
    std::optional<nuvok::MediaKey> stepped;
    try {
        if (arrival.failure)
            std::rethrow_exception(arrival.failure);
        if (!arrival.line.isEmpty())
            log(arrival.line);
        if (arrival.media)
            stepped = interpret(0, [&](nuvok::RemoteActions& actions) {
                nuvok::doMediaKey(RemoteState, *arrival.media, actions, titles());
            });
        else if (arrival.code)
            stepped = interpretCode(*arrival.code, arrival.origin);
    } catch (...) {
        log(failureText(std::current_exception()));
    }
    input.keyDone(arrival, stepped);
    emit busy(false);
}

std::optional<nuvok::MediaKey> RemoteSession::interpretCode(int iCommand,
                                                            const nuvok::KeyOrigin& origin) {
    return interpret(iCommand, [&](nuvok::RemoteActions& actions) {
        nuvok::doRC(RemoteState, iCommand, actions, titles(), origin);
    });
}

nuvok::PlayerTitles RemoteSession::titles() const {
    return {strAudioTitle.toStdString(), strVideoTitle.toStdString(), nextSongTitle.toStdString()};
}

std::optional<nuvok::MediaKey>
RemoteSession::interpret(int iCommand, const std::function<void(nuvok::RemoteActions&)>& key) {
    if (m_ended)
        return std::nullopt;
    nuvok::keytimes::mark(nuvok::keytimes::Stage::Interpreter);
    NowActions now(*this);
    nuvok::DeferredActions actions(now, RemoteState);
    const nuvok::RemoteState before = RemoteState;
    key(actions);
    announceMode(iCommand, before);
    std::optional<nuvok::MediaKey> volumeStep;
    for (const nuvok::PeerJob& job : actions.takeJobs()) {
        for (const nuvok::PeerStep& step : job.steps) {
            if (step.kind == nuvok::PeerStep::Kind::VolumeUp)
                volumeStep = nuvok::MediaKey::VolumeUp;
            else if (step.kind == nuvok::PeerStep::Kind::VolumeDown)
                volumeStep = nuvok::MediaKey::VolumeDown;
        }
        post(job);
    }
    return volumeStep;
}

namespace {

QString modeName(int mode) {
    switch (mode) {
    case nuvok::mode_Video:
        return QStringLiteral("Video mode");
    case nuvok::mode_Audio:
        return QStringLiteral("Audio mode");
    case nuvok::SetLeds:
        return QStringLiteral("LED control");
    case nuvok::mode_idle:
        return QStringLiteral("Idle");
    default:
        return {}; // the door's first key is no mode to announce
    }
}

} // namespace

// A bubble for a mode the handset chose with Menu, also the one it was in,
// and for a mode the run fell back to (idle after the door).
void RemoteSession::announceMode(int iCommand, const nuvok::RemoteState& before) {
    const bool chosen =
        before.bMenu && (iCommand == nuvok::kKeyLeft || iCommand == nuvok::kKeyRight ||
                         iCommand == nuvok::kKeyIdle ||
                         (iCommand == nuvok::kKeyUp && before.mode != nuvok::SetLeds));
    const QString name = modeName(RemoteState.mode);
    if (name.isEmpty() || (!chosen && name == m_announcedMode))
        return;
    m_announcedMode = name;
    m_feedback->modeChosen(name);
}

// ---- Door pulse ---------------------------------------------------------------

// One pulse at a time (the interpreter ignores a "9 9" while one is open). An
// on that a full queue refused switched nothing on: no off follows it, and
// the door may be opened again at once.
void RemoteSession::startDoorPulse(quint64 openCommand, bool queued) {
    if (!queued) {
        RemoteState.doorPulseOpen = false;
        return;
    }
    m_doorOpenCommand = openCommand;
    m_doorController = m_link->destination();
}

void RemoteSession::commandThrough(quint64 id) {
    if (id == 0 || id != m_doorOpenCommand)
        return;
    m_doorOpenCommand = 0;
    m_doorTimer.start(static_cast<int>(nuvok::kDoorPulseSeconds * 1000));
}

void RemoteSession::endDoorPulse() {
    if (!RemoteState.doorPulseOpen)
        return;
    // The off of an admitted on must not be lost to a full queue: it is the
    // one command queued whatever waits.
    NowActions actions(*this, ControllerLink::Admission::Always, m_doorController);
    nuvok::endDoorPulse(RemoteState, actions);
}

void RemoteSession::end() {
    if (m_ended)
        return;
    m_ended = true;
    for (KeyInput* input : std::as_const(m_inputs))
        input->end();
    const QString doorClose = QString::fromLatin1(nuvok::kDoorCloseCommand);
    QStringList dropped = m_link->dropAll();
    // A pulse whose off has not been asked for, or has not gone out yet.
    const bool doorMayBeOpen = RemoteState.doorPulseOpen || dropped.contains(doorClose);
    m_doorTimer.stop();
    m_doorOpenCommand = 0;
    RemoteState.doorPulseOpen = false;
    if (doorMayBeOpen)
        dropped.removeAll(doorClose);
    if (!dropped.isEmpty())
        log(m_link->notDeliveredLine(dropped, QStringLiteral("the program ended")));
    // An end during a pulse must not leave the door opener on: its off goes
    // out now, bounded so that the program still ends at once.
    if (doorMayBeOpen) {
        const QString reason =
            m_link->sendBeforeExit(doorClose, kDoorCloseAtExitMs, m_doorController);
        if (!reason.isEmpty())
            log(ControllerLink::notDeliveredLine({doorClose}, reason, m_doorController));
    }
    m_soundServer->stop();
    m_playerQueue->stop();
}
