#pragma once

#include "shell/trayarea.h"

#include <QIcon>
#include <Qt>

class F_NUVOKrc;

// The program's icon in the notification area and the window's minimise and
// restore handling: minimising the shown window hides it into the icon, a
// click on the icon brings it back. One icon, for one window at a time.
namespace trayStuff {

// Shows the window's own icon in the notification area (the window services'
// area, else the system's). Without a notification area the window keeps
// minimising to the taskbar, and the log says so once.
void addTrayIcon(F_NUVOKrc& window);
// Takes the icon away; also done when the window is destroyed. Repeatable.
void removeTrayIcon();
// Changes the icon's picture; a null icon changes nothing.
void setTrayIcon(const QIcon& picture);
// Whether minimising the window hides it into the notification area. Where
// this is false the window must never be hidden, or it could not be reached.
bool hidesToTray();

// A click on the icon (also called directly by tests).
void trayClicked(TrayArea::Click click);
// The window's state changed from oldState (called by its changeEvent).
void windowStateChanged(F_NUVOKrc& window, Qt::WindowStates oldState);

} // namespace trayStuff
