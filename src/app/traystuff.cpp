#include "app/traystuff.h"

#include "app/f_nuvokrc.h"
#include "shell/systemtrayarea.h"

#include <QPointer>
#include <memory>

namespace trayStuff {

namespace {

struct TrayState {
    QPointer<F_NUVOKrc> trayWindow;
    std::shared_ptr<TrayArea> area;
    QMetaObject::Connection windowGone;
    bool areaFound = false; // there was a notification area for the icon
    bool hidingNow = false; // our own hide and state reset are under way
};

TrayState& tray() {
    static TrayState state;
    return state;
}

} // namespace

void addTrayIcon(F_NUVOKrc& window) {
    TrayState& state = tray();
    if (state.area)
        removeTrayIcon();
    state.trayWindow = &window;
    state.area = window.services().trayArea;
    if (!state.area)
        state.area = std::make_shared<SystemTrayArea>();
    state.areaFound = state.area->available();
    state.area->show(window.windowIcon(), &trayClicked);
    state.windowGone = QObject::connect(&window, &QObject::destroyed, [] { removeTrayIcon(); });
    if (!state.areaFound)
        window.logData(QStringLiteral(
            "No notification area found: the window stays in the taskbar when minimised"));
}

void removeTrayIcon() {
    TrayState& state = tray();
    if (state.area)
        state.area->remove();
    QObject::disconnect(state.windowGone);
    state.area.reset();
    state.trayWindow = nullptr;
    state.areaFound = false;
}

void setTrayIcon(const QIcon& picture) {
    TrayState& state = tray();
    if (!picture.isNull() && state.area)
        state.area->setIcon(picture);
}

bool hidesToTray() {
    const TrayState& state = tray();
    // Checked again each time: a panel that went away takes the icon with it.
    return state.trayWindow && state.areaFound && state.area->available();
}

void trayClicked(TrayArea::Click click) {
    F_NUVOKrc* window = tray().trayWindow;
    if (!window)
        return;
    switch (click) {
    case TrayArea::Click::Left:
        window->show();
        window->rightClick();
        if (tray().trayWindow) {
            window->raise();
            window->activateWindow();
        }
        break;
    case TrayArea::Click::Right:
        window->show();
        if (window->windowState() & Qt::WindowMinimized)
            window->rightClick();
        window->activateWindow();
        break;
    case TrayArea::Click::Other:
        break;
    }
}

void windowStateChanged(F_NUVOKrc& window, Qt::WindowStates oldState) {
    TrayState& state = tray();
    if (state.trayWindow != &window || state.hidingNow)
        return;
    const bool minimised = window.windowState() & Qt::WindowMinimized;
    const bool wasMinimised = oldState & Qt::WindowMinimized;
    if (minimised && !wasMinimised && window.isVisible() && hidesToTray()) {
        // Into the notification area instead: hidden, with the state it had.
        state.hidingNow = true;
        window.hide();
        window.setWindowState(oldState);
        state.hidingNow = false;
    } else if (!minimised && wasMinimised && !window.isVisible()) {
        window.show();
    }
}

} // namespace trayStuff
