#pragma once

#include <string>

namespace nuvok {

// Everything the key interpreter does to the world. The main window implements
// it; tests record the calls. Any of these may throw nuvok::Failure, which ends
// the current key code. None of them waits: the next key code is interpreted
// only after this one has returned.
class RemoteActions {
public:
    virtual ~RemoteActions() = default;
    virtual void logData(const std::string& strText) = 0;
    // Queues the command for the controller and returns at once; a command
    // that cannot be delivered is reported by the link, not here.
    virtual void sendCMD(const std::string& strData) = 0;
    // The door pulse's second half: arranges for endDoorPulse
    // (remoteinterpreter.h) to run kDoorPulseSeconds after the command just
    // asked for ("setport 1.1") has reached the controller or been given up.
    // Returns at once; the keys in between are interpreted as they come.
    virtual void scheduleDoorPulseEnd() = 0;
    virtual void VolIncr() = 0;
    virtual void VolDecr() = 0;
    // Brings the player window with this title to the front; does not wait.
    virtual void activateWindow(const std::string& title) = 0;
    // Keystrokes in the key notation (keystrokes.h) for the focused window;
    // returns without waiting for them to be processed.
    virtual void sendKeys(const std::string& keys) = 0;
    virtual void showMode(const std::string& text) = 0;
    // The key code's own row is done; the door step and the menu flag follow.
    virtual void endOfRow() {}
};

} // namespace nuvok
