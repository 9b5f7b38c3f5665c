#include "app/dialogs.h"
#include "app/windowservices.h"
#include "shell/qtsettingsstore.h"
#include "shell/systemtrayarea.h"
#include "shell/watcheddesktopcontrol.h"

#include <QCoreApplication>
#include <QDir>

WindowServices systemServices() {
    WindowServices services;
    services.settings = std::make_shared<QtSettingsStore>();
    services.sessionStart = nuvok::makeSessionStart(
        QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdString());
    services.trayArea = std::make_shared<SystemTrayArea>();
    services.dialogs = std::make_shared<QtDialogs>();
    services.mixerBackend = [] { return nuvok::createSystemMixer(); };
    services.notifier = std::make_shared<DialogsNotifier>(services.dialogs);
    services.desktop = std::make_shared<WatchedDesktopControl>(nuvok::createDesktopControl());
    services.players = nuvok::createMediaPlayers();
    services.notifications = createNotificationService(services.trayArea);
    return services;
}
