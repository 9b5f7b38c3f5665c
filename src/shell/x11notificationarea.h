#pragma once

// Whether the X screen of the toolkit's X11 platform has a notification area
// (an owner of its XEmbed selection, _NET_SYSTEM_TRAY_S<screen>): one question
// to the X server, the one the toolkit asks itself. False on any other
// platform, Wayland included.
bool x11NotificationAreaThere();
