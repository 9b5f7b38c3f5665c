#include "app/f_nuvokrc.h"

#include "app/settings/settingswindow.h"
#include "app/traystuff.h"
#include "common/failure.h"

#include <QAction>
#include <QWindow>
#include <QWindowStateChangeEvent>

// The menu has already flipped the mark to what the user asks for. The mark
// then shows what is really stored, which differs when the system refused.
void F_NUVOKrc::m_add2reg_Click() {
    const QString failure = storeStartWithSession(m_add2reg->isChecked());
    if (!failure.isEmpty())
        logData(failure);
    if (m_settingsWindow)
        m_settingsWindow->storedElsewhere(QStringLiteral("startWithSession"));
}

// Stores the start entry as wanted and marks what is stored; returns the
// log line when that differs.
QString F_NUVOKrc::storeStartWithSession(bool wanted) {
    QString reason;
    try {
        m_services.sessionStart->setEnabled(wanted);
    } catch (const nuvok::Failure& failure) {
        reason = QString::fromStdString(failure.description());
    }
    const bool stored = readStartWithSession();
    m_add2reg->setChecked(stored);
    if (stored == wanted)
        return {};
    if (reason.isEmpty())
        reason = wanted ? QStringLiteral("the start entry could not be stored")
                        : QStringLiteral("the start entry could not be removed");
    return (stored ? QStringLiteral("Start on Power up is still on: ")
                   : QStringLiteral("Start on Power up is still off: ")) +
           reason;
}

bool F_NUVOKrc::startsWithSession() const {
    return readStartWithSession();
}

QString F_NUVOKrc::setStartWithSession(bool on) {
    const QString failure = storeStartWithSession(on);
    if (!failure.isEmpty())
        logData(failure);
    return failure;
}

bool F_NUVOKrc::readStartWithSession() const {
    try {
        return m_services.sessionStart->isEnabled();
    } catch (const nuvok::Failure&) {
        return false; // an entry that cannot be read counts as absent
    }
}

void F_NUVOKrc::rightClick() {
    m_minimisedAtStart = false; // the user asked for the window
    const Qt::WindowStates notNormal =
        Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;
    if (windowState() & notNormal)
        setWindowState(windowState() & ~notNormal);
}

void F_NUVOKrc::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        const Qt::WindowStates oldState = static_cast<QWindowStateChangeEvent*>(event)->oldState();
        const bool fromWindowSystem = event->spontaneous();
        // An X window manager may map the start window normally whatever it
        // was asked, and say so only after start-up has put it away: in the
        // first moments that is no request of the user's.
        reportFailures([this, oldState, fromWindowSystem] {
            if (fromWindowSystem && startHoldsMinimised() && !(windowState() & Qt::WindowMinimized))
                setWindowState(windowState() | Qt::WindowMinimized);
            else
                m_tray->windowStateChanged(oldState, fromWindowSystem);
        });
    }
}

// While start-up settles, the shown start window stays minimised whatever
// the window manager does, until the user asks for it.
bool F_NUVOKrc::startHoldsMinimised() const {
    return m_minimisedAtStart && !m_startSettling.hasExpired() && isVisible() &&
           !m_tray->hidesToTray();
}

// The window manager may also take the start window on as shown after it
// has been asked to minimise it, without a word: the program then believes it
// minimised while it is on the screen. While start-up settles, a window that
// is minimised for the program but mapped for the window system is asked
// again.
void F_NUVOKrc::keepMinimisedAtStart() {
    if (!startHoldsMinimised() || !(windowState() & Qt::WindowMinimized) || !windowHandle() ||
        !windowHandle()->isExposed())
        return;
    // The same state asked again is not passed on: ask for a change and back.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    setWindowState(windowState() | Qt::WindowMinimized);
}

void F_NUVOKrc::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    m_tray->windowShown();
    // The picture keys left while the window was hidden.
    if (!m_windowPicture.isNull() && windowIcon().cacheKey() != m_windowPicture.cacheKey())
        setWindowIcon(m_windowPicture);
}
