#include "app/traystuff.h"

#include <QPointer>
#include <QWidget>
#include <utility>

namespace {

constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
// How long a window put back on the taskbar stays minimised whatever the
// window manager says, as the start window does.
constexpr int kBackOnTaskbarSettlingMs = 3000;

} // namespace

TrayStuff::TrayStuff(QWidget& window, std::shared_ptr<TrayArea> area, Hooks hooks)
    : m_window(window), m_area(std::move(area)), m_hooks(std::move(hooks)) {}

TrayStuff::~TrayStuff() {
    removeTrayIcon();
}

void TrayStuff::hideIntoTray(Qt::WindowStates keep) {
    m_hiddenState = keep;
    m_window.hide();
}

// On the taskbar. An X window manager may have mapped the window normally
// whatever it was asked; the window's own change handler asks again when it
// says so later.
void TrayStuff::minimiseOnTaskbar() {
    if (!(m_window.windowState() & Qt::WindowMinimized))
        m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
}

// Without a notification area: minimised on the taskbar where the window
// system can give it back, else left open.
void TrayStuff::putOnDesktop(Qt::WindowStates windowState) {
    if (!minimiseReported()) {
        m_window.setWindowState(windowState & ~Qt::WindowMinimized);
        m_window.show();
        return;
    }
    minimiseOnTaskbar();
    m_holdMinimised.setRemainingTime(kBackOnTaskbarSettlingMs);
    m_window.show();
}

// A notification area came or went after the icon was shown.
void TrayStuff::areaChanged() {
    if (!m_shown)
        return;
    const bool hasArea = m_area->available();
    if (hasArea == m_hadArea)
        return;
    m_hadArea = hasArea;
    if (!hasArea) {
        // The icon went with the panel: a window hidden in it would be out of
        // reach for good.
        if (!m_window.isVisible()) {
            const Qt::WindowStates kept = windowState();
            m_hiddenState.reset();
            m_hooks.log(QStringLiteral(
                "The notification area went away: the window is back on the desktop"));
            putOnDesktop(kept);
        }
        return;
    }
    if (!minimiseReported()) {
        m_hooks.log(QStringLiteral(
            "Notification area found: a click on the icon puts the window away there"));
        return;
    }
    m_hooks.log(QStringLiteral("Notification area found: the window hides there when minimised"));
    if (m_window.isVisible() && (m_window.windowState() & Qt::WindowMinimized))
        hideIntoTray(m_window.windowState());
}

void TrayStuff::addTrayIcon() {
    if (m_shown)
        removeTrayIcon();
    m_shown = true;
    m_hadArea = m_area->available();
    // Shown even without an area: the icon docks once one appears.
    // Both arrive from the event loop: a failure becomes a log line. The area
    // drops both handlers when the icon is removed, at the latest when this
    // object goes.
    m_area->show(m_window.windowIcon(), [this](TrayArea::Click click) {
        m_hooks.runGuarded([this, click] { trayClicked(click); });
    });
    m_area->watchAvailability([this] { m_hooks.runGuarded([this] { areaChanged(); }); });
    if (!m_hadArea)
        m_hooks.log(
            minimiseReported()
                ? QStringLiteral(
                      "No notification area found: the window stays in the taskbar when minimised")
                : QStringLiteral("No notification area found: the window stays open, as this "
                                 "Wayland desktop may not give a minimised window back"));
}

void TrayStuff::removeTrayIcon() {
    if (m_shown) {
        m_area->watchAvailability(nullptr);
        m_area->remove();
    }
    m_shown = false;
    m_hadArea = false;
    m_hiddenState.reset();
}

void TrayStuff::setTrayIcon(const QIcon& picture) {
    if (!picture.isNull() && m_shown)
        m_area->setIcon(picture);
}

bool TrayStuff::hidesToTray() const {
    // Asked each time: a panel that went away takes the icon with it, and one
    // that starts after the program brings it.
    return m_shown && m_area->available();
}

bool TrayStuff::minimiseReported() const {
    return !m_shown || m_area->minimiseReported();
}

void TrayStuff::putAway(Qt::WindowStates windowState) {
    if (hidesToTray()) {
        hideIntoTray(windowState);
        return;
    }
    // Left open where a minimised window might not come back.
    if (!minimiseReported())
        return;
    minimiseOnTaskbar();
}

Qt::WindowStates TrayStuff::windowState() const {
    if (m_shown && m_hiddenState && !m_window.isVisible())
        return *m_hiddenState;
    return m_window.windowState() & ~Qt::WindowActive;
}

// The state is set before the window is shown, so that the window system
// never sees it shown minimised: an X window manager that maps it as an icon
// first reports that later, which would read as the user minimising it.
void TrayStuff::trayClicked(TrayArea::Click click) {
    if (!m_shown)
        return;
    m_holdMinimised = QDeadlineTimer(); // the user asks for the window
    // Where minimising cannot be seen, a click on the icon of the shown
    // window is the way to put it away; the next click brings it back.
    if (click != TrayArea::Click::Other && !minimiseReported() && m_window.isVisible() &&
        hidesToTray()) {
        hideIntoTray(windowState());
        return;
    }
    switch (click) {
    case TrayArea::Click::Left:
        bringBack();
        break;
    case TrayArea::Click::Right: {
        const Qt::WindowStates kept = windowState();
        if (kept & Qt::WindowMinimized)
            m_hooks.restore();
        else if ((m_window.windowState() & kNotNormal) != (kept & kNotNormal))
            m_window.setWindowState(kept); // as it was before it was hidden
        m_window.show();
        m_window.activateWindow();
        break;
    }
    case TrayArea::Click::Other:
        break;
    }
}

void TrayStuff::bringBack() {
    m_holdMinimised = QDeadlineTimer(); // the user asks for the window
    m_hooks.restore();
    // Showing runs the window's handlers, which may close it or take the
    // icon away: then it is not brought to the front.
    const QPointer<QWidget> window(&m_window);
    m_window.show();
    if (window && m_window.isVisible()) {
        m_window.raise();
        m_window.activateWindow();
    }
}

void TrayStuff::windowStateChanged(Qt::WindowStates oldState, bool fromWindowSystem) {
    if (!m_shown)
        return;
    const bool minimised = m_window.windowState() & Qt::WindowMinimized;
    const bool wasMinimised = oldState & Qt::WindowMinimized;
    if (fromWindowSystem && !minimised && m_window.isVisible() && !m_holdMinimised.hasExpired()) {
        // Mapped normally by the window manager, not by the user: asked again.
        m_window.setWindowState(m_window.windowState() | Qt::WindowMinimized);
    } else if (minimised && !wasMinimised && m_window.isVisible() && hidesToTray()) {
        // Into the notification area instead, with the state it had.
        hideIntoTray(oldState);
    } else if (!minimised && wasMinimised && !m_window.isVisible() && !fromWindowSystem) {
        // The program restores a hidden window: it shows it. What the window
        // system reports of a hidden window is no request of the user's.
        m_window.show();
    }
}

void TrayStuff::windowShown() {
    m_hiddenState.reset();
}
