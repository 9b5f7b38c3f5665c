#pragma once

#include "remote/keyorigin.h"

#include <cstdint>
#include <string>

namespace nuvok {

// Modes of the key interpreter (2 is not used).
constexpr std::int32_t mode_idle = 0;
constexpr std::int32_t SetLeds = 1;
constexpr std::int32_t DoorPreOpen = 3;
constexpr std::int32_t mode_Video = 4;
constexpr std::int32_t mode_Audio = 5;

// The interpreter's state, owned by the main window for its whole life and
// never reset. Only the interpreter reads or writes it.
struct RemoteState {
    std::string strOnOff; // "1 " or "0 ", appended to LED commands
    std::int32_t mode = mode_idle;
    bool bMenu = false; // armed by Menu for the very next key code
    // Who gave the door's first "9": only the same sender's second "9"
    // opens it. The name is only for the log line of a refusal.
    SenderIdentity doorArmedBy;
    std::string doorArmedByName;
    // A door pulse is open: its on was asked for and its off not yet. Only one
    // is open at a time, so that a flood of "9" keys cannot queue pulses.
    bool doorPulseOpen = false;
};

} // namespace nuvok
