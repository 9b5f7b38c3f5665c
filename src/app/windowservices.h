#pragma once

#include "mixer/mixerbackend.h"
#include "mixer/notifier.h"
#include "shell/desktopcontrol.h"
#include "shell/mediaplayers.h"
#include "shell/notificationservice.h"
#include "shell/sessionstart.h"
#include "shell/settingsstore.h"
#include "shell/trayarea.h"

class Dialogs;

#include <functional>
#include <memory>

// Platform back-ends handed to the main window. The program fills them with
// the real back-ends of its OS (systemservices.cpp); tests hand in fakes. The
// window fills each one left out with its empty counterpart (emptyservices.h),
// whose meaning is noted here.
struct WindowServices {
    std::shared_ptr<nuvok::SettingsStore> settings;
    // The start-with-session entry (none: it cannot be switched on).
    std::shared_ptr<nuvok::SessionStart> sessionStart;
    // The notification area (none: the system's own).
    std::shared_ptr<TrayArea> trayArea;
    // Prompts and message boxes (none: prompts are not asked, boxes not shown).
    std::shared_ptr<Dialogs> dialogs;
    // Makes the mixer back-end for the one volume object (none: no mixer).
    std::function<std::unique_ptr<nuvok::MixerBackend>()> mixerBackend;
    // Shows the no-mixer message (none: the message goes to the log panel).
    std::shared_ptr<nuvok::Notifier> notifier;
    // Brings player windows to the front and types into them (none: every
    // activation and keystroke fails with a message in the log).
    std::shared_ptr<nuvok::DesktopControl> desktop;
    // Media players on the message bus, reached where their window is not
    // found (none: players are reached by keystrokes only).
    std::shared_ptr<nuvok::MediaPlayers> players;
    // The desktop's bubbles for the volume level, the mode and failures
    // (none: no bubbles).
    std::shared_ptr<NotificationService> notifications;
};

// The real back-ends of this OS.
WindowServices systemServices();
