#pragma once

#include <string>

namespace nuvok {

// Everything the key interpreter does to the world. The main window implements
// it; tests record the calls. Any of these may throw nuvok::Failure, which ends
// the current key code. wait and sendCMD handle pending events, so they may run
// the interpreter again for a key code that arrives meanwhile.
class RemoteActions {
public:
    virtual ~RemoteActions() = default;
    virtual void logData(const std::string& strText) = 0;
    virtual void sendCMD(const std::string& strData) = 0;
    virtual void wait(double dSeconds) = 0;
    virtual void VolIncr() = 0;
    virtual void VolDecr() = 0;
    // Brings the player window with this title to the front; does not wait.
    virtual void activateWindow(const std::string& title) = 0;
    // Keystrokes in the key notation (keystrokes.h) for the focused window;
    // returns without waiting for them to be processed.
    virtual void sendKeys(const std::string& keys) = 0;
    virtual void showMode(const std::string& text) = 0;
};

} // namespace nuvok
