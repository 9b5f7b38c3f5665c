#pragma once

#include "remote/keymessage.h"
#include "remote/keyorigin.h"
#include "remote/remoteactions.h"
#include "remote/remotestate.h"

#include <string>

namespace nuvok {

// The window titles by which the players are brought to the front.
struct PlayerTitles {
    std::string strAudioTitle;
    std::string strVideoTitle;
    // The "6" key finds the audio player by this title, even when the audio
    // title is empty; an audio title the user set replaces it.
    std::string nextSongTitle = "Winamp";
};

// Interprets one key code: updates the state, acts, logs and shows the mode.
// A failing action ends the key code where it failed and propagates; what was
// changed before stays changed. The state is read afresh after every action,
// so an action that runs further key codes (none of the program's do) still
// leaves a consistent state.
void doRC(RemoteState& state, int iCommand, RemoteActions& actions, const PlayerTitles& titles,
          const KeyOrigin& origin = {});

// The dedicated media buttons of an infrared remote. Volume steps in every
// mode and never drives the LEDs; the player buttons act on the player of the
// current mode, and on the audio player outside the player modes. For the
// mode machine each is a key that is neither "9" nor Menu: it ends the door's
// first step and clears the menu flag.
enum class MediaKey { VolumeUp, VolumeDown, PlayPause, NextSong, PreviousSong };
void doMediaKey(RemoteState& state, MediaKey key, RemoteActions& actions,
                const PlayerTitles& titles);

// How long the door opener's output stays on, and the commands that switch it.
inline constexpr double kDoorPulseSeconds = 0.8;
inline constexpr const char* kDoorOpenCommand = "setport 1.1";
inline constexpr const char* kDoorCloseCommand = "setport 1.0";

// The end of a door pulse, run by whoever honoured scheduleDoorPulseEnd:
// "setport 1.0", then what the door key code did after its pause when the
// pause still nested the keys that came during it: the menu flag is cleared
// and the mode is shown, as the keys of the pulse left it. The door may be
// opened again from then on.
void endDoorPulse(RemoteState& state, RemoteActions& actions);

// What the mode display shows for a mode.
std::string modeText(std::int32_t mode);

} // namespace nuvok
