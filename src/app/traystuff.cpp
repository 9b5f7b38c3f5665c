#include "app/traystuff.h"

#include "app/f_nuvokrc.h"
#include "shell/systemtrayarea.h"

#include <QPointer>
#include <memory>
#include <optional>

namespace trayStuff {

namespace {

constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

struct TrayState {
    QPointer<F_NUVOKrc> trayWindow;
    std::shared_ptr<TrayArea> area;
    QMetaObject::Connection windowGone;
    bool hadArea = false; // whether the notification area was there last time we looked
    // The window's state while the program keeps it hidden in the icon. The
    // window system's own state of a hidden window means nothing (an X window
    // manager reports what it did with the unmapped window), and setting the
    // state of a hidden window could map it again.
    std::optional<Qt::WindowStates> hiddenState;
};

TrayState& tray() {
    static TrayState state;
    return state;
}

void hideIntoTray(F_NUVOKrc& window, Qt::WindowStates keep) {
    tray().hiddenState = keep;
    window.hide();
}

// On the taskbar. An X window manager may have mapped the window normally
// whatever it was asked; the window's own change handler asks again when it
// says so later.
void minimiseOnTaskbar(F_NUVOKrc& window) {
    if (!(window.windowState() & Qt::WindowMinimized))
        window.setWindowState(window.windowState() | Qt::WindowMinimized);
}

// Without a notification area: minimised on the taskbar where the window
// system can give it back, else left open.
void putOnDesktop(F_NUVOKrc& window, Qt::WindowStates windowState) {
    if (!minimiseReported()) {
        window.setWindowState(windowState & ~Qt::WindowMinimized);
        window.show();
        return;
    }
    minimiseOnTaskbar(window);
    window.show();
}

// A notification area came or went after the icon was shown.
void areaChanged() {
    TrayState& state = tray();
    F_NUVOKrc* window = state.trayWindow;
    if (!window || !state.area)
        return;
    const bool hasArea = state.area->available();
    if (hasArea == state.hadArea)
        return;
    state.hadArea = hasArea;
    if (!hasArea) {
        // The icon went with the panel: a window hidden in it would be out of
        // reach for good.
        if (!window->isVisible()) {
            const Qt::WindowStates kept = windowStateOf(*window);
            state.hiddenState.reset();
            window->logData(QStringLiteral(
                "The notification area went away: the window is back on the desktop"));
            putOnDesktop(*window, kept);
        }
        return;
    }
    if (!minimiseReported()) {
        window->logData(QStringLiteral(
            "Notification area found: a click on the icon puts the window away there"));
        return;
    }
    window->logData(
        QStringLiteral("Notification area found: the window hides there when minimised"));
    if (window->isVisible() && (window->windowState() & Qt::WindowMinimized))
        hideIntoTray(*window, window->windowState());
}

} // namespace

void addTrayIcon(F_NUVOKrc& window) {
    TrayState& state = tray();
    if (state.area)
        removeTrayIcon();
    state.trayWindow = &window;
    state.area = window.services().trayArea;
    state.hadArea = state.area->available();
    // Shown even without an area: the icon docks once one appears.
    // Both arrive from the event loop: a failure becomes a log line.
    state.area->show(window.windowIcon(), [](TrayArea::Click click) {
        if (F_NUVOKrc* shown = tray().trayWindow)
            shown->reportFailures([click] { trayClicked(click); });
    });
    state.area->watchAvailability([] {
        if (F_NUVOKrc* shown = tray().trayWindow)
            shown->reportFailures(&areaChanged);
    });
    state.windowGone = QObject::connect(&window, &QObject::destroyed, [] { removeTrayIcon(); });
    if (!state.hadArea)
        window.logData(
            minimiseReported()
                ? QStringLiteral(
                      "No notification area found: the window stays in the taskbar when minimised")
                : QStringLiteral("No notification area found: the window stays open, as this "
                                 "Wayland desktop may not give a minimised window back"));
}

void removeTrayIcon() {
    TrayState& state = tray();
    if (state.area) {
        state.area->watchAvailability(nullptr);
        state.area->remove();
    }
    QObject::disconnect(state.windowGone);
    state.area.reset();
    state.trayWindow = nullptr;
    state.hadArea = false;
    state.hiddenState.reset();
}

void setTrayIcon(const QIcon& picture) {
    TrayState& state = tray();
    if (!picture.isNull() && state.area)
        state.area->setIcon(picture);
}

bool hidesToTray() {
    const TrayState& state = tray();
    // Asked each time: a panel that went away takes the icon with it, and one
    // that starts after the program brings it.
    return state.trayWindow && state.area && state.area->available();
}

bool minimiseReported() {
    const TrayState& state = tray();
    return !state.area || state.area->minimiseReported();
}

void putAway(F_NUVOKrc& window, Qt::WindowStates windowState) {
    if (tray().trayWindow == &window && hidesToTray()) {
        hideIntoTray(window, windowState);
        return;
    }
    // Left open where a minimised window might not come back.
    if (!minimiseReported())
        return;
    minimiseOnTaskbar(window);
}

Qt::WindowStates windowStateOf(const F_NUVOKrc& window) {
    const TrayState& state = tray();
    if (state.trayWindow == &window && state.hiddenState && !window.isVisible())
        return *state.hiddenState;
    return window.windowState() & ~Qt::WindowActive;
}

// The state is set before the window is shown, so that the window system
// never sees it shown minimised: an X window manager that maps it as an icon
// first reports that later, which would read as the user minimising it.
void trayClicked(TrayArea::Click click) {
    F_NUVOKrc* window = tray().trayWindow;
    if (!window)
        return;
    // Where minimising cannot be seen, a click on the icon of the shown
    // window is the way to put it away; the next click brings it back.
    if (click != TrayArea::Click::Other && !minimiseReported() && window->isVisible() &&
        hidesToTray()) {
        hideIntoTray(*window, windowStateOf(*window));
        return;
    }
    switch (click) {
    case TrayArea::Click::Left:
        window->rightClick();
        window->show();
        if (tray().trayWindow) {
            window->raise();
            window->activateWindow();
        }
        break;
    case TrayArea::Click::Right: {
        const Qt::WindowStates kept = windowStateOf(*window);
        if (kept & Qt::WindowMinimized)
            window->rightClick();
        else if ((window->windowState() & kNotNormal) != (kept & kNotNormal))
            window->setWindowState(kept); // as it was before it was hidden
        window->show();
        window->activateWindow();
        break;
    }
    case TrayArea::Click::Other:
        break;
    }
}

void windowStateChanged(F_NUVOKrc& window, Qt::WindowStates oldState, bool fromWindowSystem) {
    TrayState& state = tray();
    if (state.trayWindow != &window)
        return;
    const bool minimised = window.windowState() & Qt::WindowMinimized;
    const bool wasMinimised = oldState & Qt::WindowMinimized;
    if (minimised && !wasMinimised && window.isVisible() && hidesToTray()) {
        // Into the notification area instead, with the state it had.
        hideIntoTray(window, oldState);
    } else if (!minimised && wasMinimised && !window.isVisible() && !fromWindowSystem) {
        // The program restores a hidden window: it shows it. What the window
        // system reports of a hidden window is no request of the user's.
        window.show();
    }
}

void windowShown(F_NUVOKrc& window) {
    if (tray().trayWindow == &window)
        tray().hiddenState.reset();
}

} // namespace trayStuff
