#pragma once

#include "input/keyinput.h"
#include "net/lircinput.h"
#include "remote/lircbuttons.h"

#include <QStringList>

#include <functional>
#include <optional>
#include <set>
#include <utility>

// Infrared remotes through lircd: where it is, which remotes may steer, and
// what their buttons do.
struct LircSettings {
    LircPlace place;     // neither a socket nor a host: not used
    QStringList remotes; // the remotes let in; empty: every one
    nuvok::LircButtonMap buttons;
};

// The button events of infrared remotes (lircd, WinLIRC) as keys: a press
// acts as its button's key, a repeat only while it steps the volume; the
// door, the menu and the controller never repeat. A button that does
// nothing, or a remote that is left out, is said once.
class InfraredInput : public KeyInput {
    Q_OBJECT

public:
    explicit InfraredInput(int retryMs = 2000, QObject* parent = nullptr);

    // For the next start.
    void setSettings(const LircSettings& settings) { m_settings = settings; }
    // Looks for lircd where the settings say; without a place, nothing.
    void start() override;
    void stop() override { m_lirc->stop(); }
    QString stateText() const override;
    void keyDone(const KeyArrival& arrival, std::optional<nuvok::MediaKey> volumeStep) override;

    LircInput* lirc() const { return m_lirc; }

    // The next press of any remote is told to the learner instead of acting;
    // a null learner gives up learning.
    using Learner = std::function<void(const QString& button, const QString& remote)>;
    void learnNextPress(Learner learner) { m_learner = std::move(learner); }

private:
    void take(const nuvok::LircEvent& event);
    void sayRights();
    void sayOnce(std::set<QString>& said, const QString& what, const QString& line);

    LircInput* m_lirc;
    LircSettings m_settings;
    Learner m_learner;
    nuvok::LircRepeats m_repeats;
    // The press being handled, and when it came.
    std::optional<std::pair<nuvok::LircEvent, nuvok::LircRepeats::Clock::time_point>> m_pressed;
    std::set<QString> m_unmappedSaid; // buttons told to do nothing
    std::set<QString> m_remotesSaid;  // remotes told to be left out
    QString m_rightsSaid;             // what the IR keys may do, as last said
};
