#pragma once

#include "shell/trayarea.h"

#include <QIcon>
#include <Qt>

class F_NUVOKrc;

// The program's icon in the notification area and the window's minimise and
// restore handling: minimising the shown window hides it into the icon, a
// click on the icon brings it back. Where the window system does not report a
// minimise (Wayland), a click on the icon of the shown window hides it
// instead. One icon, for one window at a time.
namespace trayStuff {

// Shows the window's own icon in the notification area (the window services'
// area, else the system's). Without a notification area the window keeps
// minimising to the taskbar, and the log says so once; an area that appears
// later takes the icon and, from then on, the minimised window.
void addTrayIcon(F_NUVOKrc& window);
// Takes the icon away; also done when the window is destroyed. Repeatable.
void removeTrayIcon();
// Changes the icon's picture; a null icon changes nothing.
void setTrayIcon(const QIcon& picture);
// Whether minimising the window hides it into the notification area, asked
// anew each time. Where this is false the window must never be hidden, or it
// could not be reached.
bool hidesToTray();
// Whether the window system reports the user minimising the window (and can
// give a minimised window back). Where it does not, a window without a
// notification area is never minimised by the program.
bool minimiseReported();

// Puts the window away as a minimised window: hidden into the notification
// area, or minimised on the taskbar where there is none (left as it is where
// minimising is not reported). The window keeps windowState as its state
// while hidden.
void putAway(F_NUVOKrc& window, Qt::WindowStates windowState);
// The window's state as the program keeps it: a window hidden into the
// notification area keeps the state it had, whatever the window system says.
Qt::WindowStates windowStateOf(const F_NUVOKrc& window);

// A click on the icon (also called directly by tests).
void trayClicked(TrayArea::Click click);
// The window's state changed from oldState (called by its changeEvent);
// fromWindowSystem tells a change the window system reported from one the
// program made.
void windowStateChanged(F_NUVOKrc& window, Qt::WindowStates oldState, bool fromWindowSystem);
// The window was shown (called by its showEvent).
void windowShown(F_NUVOKrc& window);

} // namespace trayStuff
