#include "app/f_nuvokrc.h"

#include "common/failure.h"
#include "remote/remoteinterpreter.h"

#include <QLineEdit>

namespace {

// The key interpreter's actions, carried out by the main window.
class WindowActions : public nuvok::RemoteActions {
public:
    explicit WindowActions(F_NUVOKrc& window) : m_window(window) {}

    void logData(const std::string& strText) override {
        m_window.logData(QString::fromStdString(strText));
    }
    void sendCMD(const std::string& strData) override {
        m_window.sendCMD(QString::fromStdString(strData));
    }
    void wait(double dSeconds) override { m_window.wait(dSeconds); }
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
};

} // namespace

void F_NUVOKrc::doRC(int iCommand) {
    WindowActions actions(*this);
    // Read on every key code: a nested call during a wait sees the same state.
    const nuvok::PlayerTitles titles{strAudioTitle.toStdString(), strVideoTitle.toStdString(),
                                     m_nextSongTitle.toStdString()};
    nuvok::PlayerReach players(actions, services().players.get(), playerControl, RemoteState,
                               titles, playerWays);
    nuvok::doRC(RemoteState, iCommand, players, titles);
}
