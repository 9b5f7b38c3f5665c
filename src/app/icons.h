#pragma once

#include <QIcon>

// The window and notification-area pictures (a handset seen from above):
// green when idle, blue while a key message is being handled.
namespace icons {
QIcon idle();
QIcon busy();
} // namespace icons
