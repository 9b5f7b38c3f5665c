#pragma once

#include "app/windowservices.h"

#include <QString>
#include <functional>

// What a service the caller leaves out means: settings read empty and are not
// kept, the start entry cannot be switched on, the notification area is the
// system's own, prompts are cancelled and boxes not shown, there is no mixer,
// the no-mixer message goes to the log, and players cannot be reached. Every
// missing service is filled in, so that the window never checks for one.
void fillEmptyServices(WindowServices& services, std::function<void(const QString&)> log);
