#include "input/infraredinput.h"

#include <utility>

InfraredInput::InfraredInput(int retryMs, QObject* parent)
    : KeyInput(parent), m_lirc(new LircInput(retryMs, this)) {
    connect(m_lirc, &LircInput::logLine, this, &KeyInput::logLine);
    connect(m_lirc, &LircInput::event, this, &InfraredInput::take);
    connect(m_lirc, &LircInput::ready, this, &InfraredInput::sayRights);
}

void InfraredInput::start() {
    m_lirc->stop();
    if (ended() || (m_settings.place.socketPath.isEmpty() && !m_settings.place.tcp()))
        return;
    m_lirc->start(m_settings.place);
}

QString InfraredInput::stateText() const {
    const LircPlace& place = m_settings.place;
    if (place.socketPath.isEmpty() && !place.tcp())
        return QStringLiteral("not in use");
    if (!m_lirc->running())
        return QStringLiteral("stopped");
    return m_lirc->connected() ? QStringLiteral("lircd at %1 answers").arg(place.text())
                               : QStringLiteral("waiting for lircd at %1").arg(place.text());
}

// A line said once per name; a remote that sends ever new names cannot make
// the list grow without bound.
void InfraredInput::sayOnce(std::set<QString>& said, const QString& what, const QString& line) {
    constexpr std::size_t kMaxNames = 64;
    if (said.size() >= kMaxNames || !said.insert(what).second)
        return;
    emit logLine(line);
}

void InfraredInput::take(const nuvok::LircEvent& event) {
    const QString button = QString::fromStdString(event.button);
    const QString remote = QString::fromStdString(event.remote);
    if (m_learner && event.repeat == 0) {
        // Taken for its name only: neither it nor its repeats act.
        m_repeats.pressed(event.button, event.remote, std::nullopt,
                          nuvok::LircRepeats::Clock::now());
        const Learner learner = std::exchange(m_learner, nullptr);
        learner(button, remote);
        return;
    }
    if (!m_settings.remotes.isEmpty() && !m_settings.remotes.contains(remote)) {
        sayOnce(m_remotesSaid, remote,
                QStringLiteral("IR: remote %1 is left out: it is not in LircRemotes").arg(remote));
        return;
    }
    const std::optional<nuvok::LircButton> mapped = m_settings.buttons.find(event.button);
    if (!mapped) {
        sayOnce(m_unmappedSaid, button,
                QStringLiteral("IR: %1 (%2) does nothing: give it a key code as %1 in the "
                               "settings' group LircButtons")
                    .arg(button, remote));
        return;
    }
    const auto now = nuvok::LircRepeats::Clock::now();
    KeyArrival arrival;
    arrival.media = mapped->media;
    if (event.repeat > 0) {
        arrival.media = m_repeats.repeatActs(event.button, event.remote, now);
        if (!arrival.media)
            return;
    } else {
        m_pressed = {event, now};
    }
    if (!arrival.media)
        arrival.code = mapped->keyCode;
    arrival.line = QStringLiteral("IR: %1 (%2)").arg(button, remote);
    arrival.origin = trust().originOfInfrared(m_lirc->source(), m_lirc->place(), remote);
    emit arrived(arrival);
    m_pressed.reset();
}

// A press hands on what it stepped: its repeats go on stepping that way.
void InfraredInput::keyDone(const KeyArrival&, std::optional<nuvok::MediaKey> volumeStep) {
    if (m_pressed)
        m_repeats.pressed(m_pressed->first.button, m_pressed->first.remote, volumeStep,
                          m_pressed->second);
}

// Said when it differs from what was said last, not at every reconnect.
void InfraredInput::sayRights() {
    const QString rights = trust().infraredRights(m_lirc->source(), m_lirc->place());
    if (rights != std::exchange(m_rightsSaid, rights))
        emit logLine(rights);
}
