#include "remote/remoteinterpreter.h"

namespace nuvok {
namespace {

constexpr int digitKey(int digit) {
    return '0' + digit;
}

bool inPlayerMode(const RemoteState& state) {
    return state.mode == mode_Video || state.mode == mode_Audio;
}

// Output 1 switched on, whether by the door or as LED 1: the door opens.
bool switchesDoorOn(const std::string& command) {
    return command.rfind(kDoorOpenCommand, 0) == 0;
}

// Why the key's sender may not give this controller command; empty: it may.
const std::string& refusal(const KeyOrigin& origin, bool opensDoor) {
    return origin.noController.empty() && opensDoor ? origin.noDoor : origin.noController;
}

// A command the key's sender may not give is not sent: one line names it and
// says why.
void ledCommand(const RemoteState& state, RemoteActions& actions, int port,
                const KeyOrigin& origin) {
    const std::string command = "setport " + std::to_string(port) + "." + state.strOnOff;
    const std::string& why = refusal(origin, switchesDoorOn(command));
    if (why.empty())
        actions.sendCMD(command);
    else
        actions.logData("\"" + command + "\" not sent to the controller: " + why);
}

void dispatchKey(RemoteState& state, int iCommand, RemoteActions& actions,
                 const PlayerTitles& titles, const KeyOrigin& origin) {
    switch (iCommand) {
    case kKeyLeft:
        if (state.bMenu) {
            state.mode = SetLeds;
            actions.logData("Mode:SetLeds");
        } else if (inPlayerMode(state)) {
            actions.sendKeys("{left}");
            actions.logData("{left}");
        }
        break;
    case kKeyRight:
        if (state.bMenu) {
            state.mode = mode_Video;
            actions.logData("mode_Video");
            actions.activateWindow(titles.strVideoTitle);
        } else if (inPlayerMode(state)) {
            actions.sendKeys("{right}");
            actions.logData("{right}");
        }
        break;
    case kKeyIdle:
        if (state.bMenu) {
            state.mode = mode_idle;
            actions.logData("Mode:mode_idle");
        }
        break;
    case kKeyUp:
        if (state.mode == SetLeds) {
            state.strOnOff = "1 ";
            actions.logData("strOnOff =" + state.strOnOff);
            actions.logData("bMenu");
        } else if (state.bMenu) {
            state.mode = mode_Audio;
            actions.logData("mode_Audio");
            actions.activateWindow(titles.strAudioTitle);
            actions.logData("bMenu");
        } else {
            actions.VolIncr();
            actions.logData("Vol+");
            actions.logData("bMenu");
        }
        break;
    case kKeyDown:
        if (state.mode == SetLeds) {
            state.strOnOff = "0 ";
            actions.logData("strOnOff =" + state.strOnOff);
        } else {
            actions.VolDecr();
            actions.logData("Vol-");
        }
        break;
    case kKeySelect:
        actions.logData("Select->Enter");
        actions.sendKeys("{enter}");
        break;
    case digitKey(1):
    case digitKey(2):
    case digitKey(3):
    case digitKey(7):
        if (state.mode == SetLeds)
            ledCommand(state, actions, iCommand - '0', origin);
        break;
    case digitKey(4):
        if (state.mode == SetLeds)
            ledCommand(state, actions, 4, origin);
        // A separate test: the mode may have changed while the command was sent.
        if (state.mode == mode_Audio) {
            actions.activateWindow(titles.strAudioTitle);
            actions.sendKeys("z");
            actions.logData("[Z] Last Song");
        }
        break;
    case digitKey(5):
        if (state.mode == SetLeds) {
            ledCommand(state, actions, 5, origin);
            break;
        }
        if (state.mode == mode_Video) {
            actions.activateWindow(titles.strVideoTitle);
            actions.sendKeys(" ");
            actions.logData("[Space] Pause");
        }
        if (state.mode == mode_Audio) {
            actions.activateWindow(titles.strAudioTitle);
            actions.sendKeys("c");
            actions.logData("[C] Pause");
        }
        break;
    case digitKey(6):
        if (state.mode == SetLeds)
            ledCommand(state, actions, 6, origin);
        if (state.mode == mode_Audio) {
            actions.activateWindow(titles.nextSongTitle);
            actions.sendKeys("b");
            actions.logData("[B]Next Song");
        }
        break;
    case digitKey(0):
        // Goes to whatever window has the focus; no player is brought forward.
        actions.sendKeys(" ");
        actions.logData("[Space]");
        break;
    default:
        break;
    }
}

// Both keys of "9 9" come from one sender that may open the door; a "9"
// from anyone else ends the first step. A "9 9" while a pulse is open leaves
// that pulse as it is: neither a second pulse nor a longer one.
void doorOpener(RemoteState& state, int iCommand, RemoteActions& actions, const KeyOrigin& origin) {
    if (iCommand == digitKey(9)) {
        if (state.mode == DoorPreOpen) {
            // Set before the pulse so that key codes arriving during it see mode 0.
            state.mode = mode_idle;
            const std::string& why = refusal(origin, true);
            if (state.doorArmedBy != origin.identity) {
                actions.logData("idle");
                actions.logData("The door stays shut: its first \"9\" came from " +
                                state.doorArmedByName + ", the second from " + origin.sender);
            } else if (!why.empty()) {
                actions.logData("The door stays shut: " + why);
            } else if (state.doorPulseOpen) {
                actions.logData("The door is open already: this \"9 9\" is ignored");
            } else {
                state.doorPulseOpen = true;
                actions.sendCMD(kDoorOpenCommand);
                actions.logData("Open Door");
                actions.scheduleDoorPulseEnd();
            }
        } else {
            state.mode = DoorPreOpen;
            state.doorArmedBy = origin.identity;
            state.doorArmedByName = origin.sender;
            actions.logData("DoorPreOpen");
        }
    } else if (state.mode == DoorPreOpen) {
        state.mode = mode_idle;
        actions.logData("idle");
    }
}

} // namespace

std::string modeText(std::int32_t mode) {
    if (mode == mode_Video)
        return "Video mode";
    if (mode == mode_Audio)
        return "Audio mode";
    return std::to_string(mode);
}

void endDoorPulse(RemoteState& state, RemoteActions& actions) {
    state.doorPulseOpen = false;
    actions.sendCMD(kDoorCloseCommand);
    state.bMenu = false;
    actions.showMode(modeText(state.mode));
}

void doMediaKey(RemoteState& state, MediaKey key, RemoteActions& actions,
                const PlayerTitles& titles) {
    if (state.strOnOff.empty())
        state.strOnOff = "1 ";
    const bool video = state.mode == mode_Video;
    switch (key) {
    case MediaKey::VolumeUp:
        actions.VolIncr();
        actions.logData("Vol+");
        break;
    case MediaKey::VolumeDown:
        actions.VolDecr();
        actions.logData("Vol-");
        break;
    case MediaKey::PlayPause:
        actions.activateWindow(video ? titles.strVideoTitle : titles.strAudioTitle);
        actions.sendKeys(video ? " " : "c");
        actions.logData(video ? "[Space] Pause" : "[C] Pause");
        break;
    case MediaKey::NextSong:
        if (video) {
            actions.sendKeys("{right}");
            actions.logData("{right}");
        } else {
            actions.activateWindow(titles.nextSongTitle);
            actions.sendKeys("b");
            actions.logData("[B]Next Song");
        }
        break;
    case MediaKey::PreviousSong:
        if (video) {
            actions.sendKeys("{left}");
            actions.logData("{left}");
        } else {
            actions.activateWindow(titles.strAudioTitle);
            actions.sendKeys("z");
            actions.logData("[Z] Last Song");
        }
        break;
    }
    actions.endOfRow();
    doorOpener(state, 0, actions, {});
    state.bMenu = false;
    actions.showMode(modeText(state.mode));
}

void doRC(RemoteState& state, int iCommand, RemoteActions& actions, const PlayerTitles& titles,
          const KeyOrigin& origin) {
    if (state.strOnOff.empty())
        state.strOnOff = "1 ";
    dispatchKey(state, iCommand, actions, titles, origin);
    actions.endOfRow();
    doorOpener(state, iCommand, actions, origin);
    if (iCommand == kKeyMenu) {
        state.bMenu = true;
        actions.logData("bMenu 1");
    } else {
        state.bMenu = false;
    }
    actions.showMode(modeText(state.mode));
}

} // namespace nuvok
