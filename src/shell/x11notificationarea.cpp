#include "shell/x11notificationarea.h"

#include <QByteArray>
#include <QGuiApplication>

// Last: Xlib's macros clash with the toolkit's names.
#include <X11/Xlib.h>

bool x11NotificationAreaThere() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    // The name is made once, on first use, for the process's one display: an
    // area that appears later owns the same name, and each look after that is
    // a single question to the X server.
    static const Atom selection = [display] {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(display));
        return XInternAtom(display, name.constData(), False);
    }();
    return selection != None && XGetSelectionOwner(display, selection) != None;
}
