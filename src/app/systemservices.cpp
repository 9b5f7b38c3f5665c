#include "app/windowservices.h"
#include "shell/qtsettingsstore.h"
#include "shell/systemtrayarea.h"

#include <QCoreApplication>
#include <QDir>
#include "mixer/messageboxnotifier.h"

WindowServices systemServices() {
    WindowServices services;
    services.settings = std::make_shared<QtSettingsStore>();
    services.sessionStart = nuvok::makeSessionStart(
        QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdString());
    services.trayArea = std::make_shared<SystemTrayArea>();
    services.mixerBackend = [] { return nuvok::createSystemMixer(); };
    services.notifier = std::make_shared<MessageBoxNotifier>();
    return services;
}
