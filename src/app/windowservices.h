#pragma once

#include "shell/settingsstore.h"

#include <memory>

// Platform back-ends handed to the main window. The program fills them with
// the real back-ends of its OS (systemservices.cpp); tests hand in fakes.
struct WindowServices {
    std::shared_ptr<nuvok::SettingsStore> settings;
};

// The real back-ends of this OS.
WindowServices systemServices();
