#pragma once

#include "remote/keymessage.h"
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
// so key codes handled inside wait or sendCMD take effect for the rest of this
// one.
void doRC(RemoteState& state, int iCommand, RemoteActions& actions, const PlayerTitles& titles);

// What the mode display shows for a mode.
std::string modeText(std::int32_t mode);

} // namespace nuvok
