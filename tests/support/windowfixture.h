#pragma once

#include "app/f_nuvokrc.h"
#include "support/fakedialogs.h"
#include "support/fakesessionstart.h"
#include "support/faketrayarea.h"
#include "support/freeport.h"
#include "support/memorysettings.h"
#include "support/windowcontrols.h"

#include <memory>

namespace nuvok::test {

// A main window with in-memory settings, answerable dialogs, a recording
// notification area and start entry, and no other platform back-ends; the controller sits on
// loopback with a short deadline.
struct WindowFixture {
    std::shared_ptr<MemorySettings> settings = std::make_shared<MemorySettings>();
    std::shared_ptr<FakeDialogs> dialogs = std::make_shared<FakeDialogs>();
    std::shared_ptr<FakeTrayArea> tray = std::make_shared<FakeTrayArea>();
    std::shared_ptr<FakeSessionStart> sessionStart = std::make_shared<FakeSessionStart>();
    std::unique_ptr<F_NUVOKrc> window;

    // A store given here takes the place of the in-memory settings; a desktop,
    // that of none.
    explicit WindowFixture(WindowOptions options = shortOptions(),
                           std::shared_ptr<SettingsStore> store = nullptr,
                           std::shared_ptr<DesktopControl> desktop = nullptr) {
        WindowServices services;
        services.desktop = std::move(desktop);
        services.settings = store ? std::move(store) : settings;
        services.dialogs = dialogs;
        services.trayArea = tray;
        services.sessionStart = sessionStart;
        window = std::make_unique<F_NUVOKrc>(std::move(services), std::move(options));
    }

    static WindowOptions shortOptions() {
        WindowOptions options;
        options.controllerHost = QStringLiteral("127.0.0.1");
        options.controllerDeadlineMs = 500;
        options.decimalSeparator = '.';
        // The peers' work is done at once, so that a key's lines are there
        // when it returns; the tests of hung peers give them threads.
        options.peerTimes.ownThreads = false;
        return options;
    }

    F_NUVOKrc* operator->() const { return window.get(); }
    QStringList logLines() const { return window->logText().split(QStringLiteral("\r\n")); }
};

} // namespace nuvok::test
