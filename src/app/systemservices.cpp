#include "app/windowservices.h"
#include "mixer/messageboxnotifier.h"

WindowServices systemServices() {
    WindowServices services;
    services.mixerBackend = [] { return nuvok::createSystemMixer(); };
    services.notifier = std::make_shared<MessageBoxNotifier>();
    return services;
}
