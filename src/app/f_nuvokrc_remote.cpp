#include "app/f_nuvokrc.h"

#include "common/failure.h"
#include "remote/remoteinterpreter.h"

#include <QLineEdit>
#include <QTimer>

// The key interpreter's actions, carried out by the main window. Nothing here
// waits: a command is queued on the controller link, and the door pulse's
// pause is a timer.
class F_NUVOKrc::Actions : public nuvok::RemoteActions {
public:
    explicit Actions(F_NUVOKrc& window,
                     ControllerLink::Admission admission = ControllerLink::Admission::Bounded)
        : m_window(window), m_admission(admission) {}

    void logData(const std::string& strText) override {
        m_window.logData(QString::fromStdString(strText));
    }
    void sendCMD(const std::string& strData) override {
        m_lastCommand = m_window.m_link->send(QString::fromStdString(strData), m_admission);
    }
    void scheduleDoorPulseEnd() override { m_window.startDoorPulse(m_lastCommand); }
    void VolIncr() override { m_window.VolIncr(); }
    void VolDecr() override { m_window.VolDecr(); }
    void activateWindow(const std::string& title) override {
        m_window.services().desktop->activateWindow(title);
    }
    void sendKeys(const std::string& keys) override { m_window.services().desktop->sendKeys(keys); }
    void showMode(const std::string& text) override {
        m_window.T_mode->setText(QString::fromStdString(text));
    }

private:
    F_NUVOKrc& m_window;
    ControllerLink::Admission m_admission;
    quint64 m_lastCommand = 0;
};

void F_NUVOKrc::doRC(int iCommand) {
    Actions actions(*this);
    // Read on every key code, as the settings may name other players.
    const nuvok::PlayerTitles titles{strAudioTitle.toStdString(), strVideoTitle.toStdString(),
                                     m_nextSongTitle.toStdString()};
    nuvok::PlayerReach players(actions, services().players.get(), playerControl, RemoteState,
                               titles, playerWays);
    nuvok::doRC(RemoteState, iCommand, players, titles);
}

// ---- Door pulse ---------------------------------------------------------------

// A pulse started while another one waits for its end keeps the door open
// until kDoorPulseSeconds after the later on; then both ends follow, as they
// did when the later pulse ran nested in the earlier one's pause.
void F_NUVOKrc::startDoorPulse(quint64 openCommand) {
    ++m_doorPulses;
    m_doorOpenCommand = openCommand;
    m_doorTimer->stop();
}

void F_NUVOKrc::commandThrough(quint64 id) {
    if (id == 0 || id != m_doorOpenCommand)
        return;
    m_doorOpenCommand = 0;
    m_doorTimer->start(static_cast<int>(nuvok::kDoorPulseSeconds * 1000));
}

void F_NUVOKrc::endDoorPulses() {
    // The off must not be lost to a full queue: it is queued whatever waits.
    Actions actions(*this, ControllerLink::Admission::Always);
    for (; m_doorPulses > 0; --m_doorPulses)
        nuvok::endDoorPulse(RemoteState, actions);
}

void F_NUVOKrc::dropPendingCommands() {
    const QString doorClose = QString::fromLatin1(nuvok::kDoorCloseCommand);
    QStringList dropped = m_link->dropAll();
    // A pulse whose off has not been asked for, or has not gone out yet.
    const bool doorMayBeOpen = m_doorPulses > 0 || dropped.contains(doorClose);
    m_doorTimer->stop();
    m_doorOpenCommand = 0;
    m_doorPulses = 0;
    if (doorMayBeOpen)
        dropped.removeAll(doorClose);
    if (!dropped.isEmpty())
        logData(m_link->notDeliveredLine(dropped, QStringLiteral("the program ended")));
    // An end during a pulse must not leave the door opener on: its off goes
    // out now, bounded so that the program still ends at once.
    if (doorMayBeOpen) {
        const QString reason = m_link->sendBeforeExit(doorClose, kDoorCloseAtExitMs);
        if (!reason.isEmpty())
            logData(m_link->notDeliveredLine({doorClose}, reason));
    }
}
