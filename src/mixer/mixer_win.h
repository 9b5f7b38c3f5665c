#pragma once

#include "mixer/mixerbackend.h"

#include <windows.h>

#include <mmsystem.h>

#include <functional>
#include <memory>

namespace nuvok {

// The winmm calls of the mixer; tests replace them to play a device that
// goes away and comes back.
struct WinmmCalls {
    std::function<MMRESULT(LPHMIXER, UINT, DWORD_PTR, DWORD_PTR, DWORD)> open = &mixerOpen;
    std::function<MMRESULT(HMIXEROBJ, LPMIXERLINEA, DWORD)> getLineInfo = &mixerGetLineInfoA;
    std::function<MMRESULT(HMIXEROBJ, LPMIXERLINECONTROLSA, DWORD)> getLineControls =
        &mixerGetLineControlsA;
    std::function<MMRESULT(HMIXEROBJ, LPMIXERCONTROLDETAILS, DWORD)> getControlDetails =
        &mixerGetControlDetailsA;
    std::function<MMRESULT(HMIXEROBJ, LPMIXERCONTROLDETAILS, DWORD)> setControlDetails =
        &mixerSetControlDetails;
    std::function<MMRESULT(HMIXER)> close = &mixerClose;
};

// winmm's first mixer device.
std::unique_ptr<MixerBackend> createWinmmMixer(WinmmCalls calls = {});

} // namespace nuvok
