#include "session/remotesession.h"

#include "session/failuretext.h"

#include <utility>

// Infrared remotes: lircd's button events as keys, and what they may do.

void RemoteSession::startLirc(const LircSettings& settings) {
    m_lircSettings = settings;
    m_lirc->stop();
    if (m_ended || (settings.place.socketPath.isEmpty() && !settings.place.tcp()))
        return;
    m_lirc->start(settings.place);
}

// A line said once per name; a remote that sends ever new names cannot make
// the list grow without bound.
void RemoteSession::sayOnce(std::set<QString>& said, const QString& what, const QString& line) {
    constexpr std::size_t kMaxNames = 64;
    if (said.size() >= kMaxNames || !said.insert(what).second)
        return;
    log(line);
}

// One button event: a press acts as its key, a repeat only while it steps
// the volume; the door, the menu and the controller never repeat.
void RemoteSession::handleLircEvent(const nuvok::LircEvent& event) {
    const QString button = QString::fromStdString(event.button);
    const QString remote = QString::fromStdString(event.remote);
    if (!m_lircSettings.remotes.isEmpty() && !m_lircSettings.remotes.contains(remote)) {
        sayOnce(m_remotesSaid, remote,
                QStringLiteral("IR: remote %1 is left out: it is not in LircRemotes").arg(remote));
        return;
    }
    const std::optional<nuvok::LircButton> mapped = m_lircSettings.buttons.find(event.button);
    if (!mapped) {
        sayOnce(m_unmappedSaid, button,
                QStringLiteral("IR: %1 (%2) does nothing: give it a key code as %1 in the "
                               "settings' group LircButtons")
                    .arg(button, remote));
        return;
    }
    const auto now = nuvok::LircRepeats::Clock::now();
    std::optional<nuvok::MediaKey> media = mapped->media;
    if (event.repeat > 0) {
        media = m_lircRepeats.repeatActs(event.button, event.remote, now);
        if (!media)
            return;
    }
    emit busy(true);
    log(QStringLiteral("IR: %1 (%2)").arg(button, remote));
    std::optional<nuvok::MediaKey> stepped;
    try {
        if (media)
            stepped = interpret(0, [&](nuvok::RemoteActions& actions) {
                nuvok::doMediaKey(RemoteState, *media, actions, titles());
            });
        else
            stepped = interpret(*mapped->keyCode, [&](nuvok::RemoteActions& actions) {
                nuvok::doRC(RemoteState, *mapped->keyCode, actions, titles(),
                            m_trust.originOfInfrared(m_lirc->source(), m_lirc->place(), remote));
            });
    } catch (...) {
        log(failureText(std::current_exception()));
    }
    if (event.repeat == 0)
        m_lircRepeats.pressed(event.button, event.remote, stepped, now);
    emit busy(false);
}

// Said when it differs from what was said last, not at every reconnect.
void RemoteSession::sayLircRights() {
    const QString rights = m_trust.infraredRights(m_lirc->source(), m_lirc->place());
    if (rights != std::exchange(m_lircRightsSaid, rights))
        log(rights);
}
