#pragma once

#include "shell/trayarea.h"

#include <QDeadlineTimer>
#include <QIcon>
#include <QString>
#include <Qt>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// The program's icon in the notification area and the window's minimise and
// restore handling: minimising the shown window hides it into the icon, a
// click on the icon brings it back. Where the window system does not report a
// minimise (Wayland), a click on the icon of the shown window hides it
// instead. One icon, for the one window that owns this object; destroying the
// object takes the icon away.
class TrayStuff {
public:
    // What the icon needs of its window besides the widget itself.
    struct Hooks {
        // Writes one line to the window's log.
        std::function<void(const QString&)> log;
        // Runs an operation whose failure becomes one log line: clicks and
        // area changes arrive from the event loop.
        std::function<void(const std::function<void()>&)> runGuarded;
        // Brings the window's state back to normal, as the user asking for
        // the window does.
        std::function<void()> restore;
    };

    TrayStuff(QWidget& window, std::shared_ptr<TrayArea> area, Hooks hooks);
    ~TrayStuff();
    TrayStuff(const TrayStuff&) = delete;
    TrayStuff& operator=(const TrayStuff&) = delete;

    // Shows the window's own icon in the notification area. Without a
    // notification area the window keeps minimising to the taskbar, and the
    // log says so once; an area that appears later takes the icon and, from
    // then on, the minimised window.
    void addTrayIcon();
    // Takes the icon away; also done when the object is destroyed. Repeatable.
    void removeTrayIcon();
    // Changes the icon's picture; a null icon changes nothing.
    void setTrayIcon(const QIcon& picture);
    // Whether minimising the window hides it into the notification area, asked
    // anew each time. Where this is false the window must never be hidden, or it
    // could not be reached.
    bool hidesToTray() const;
    // Whether the window system reports the user minimising the window (and can
    // give a minimised window back). Where it does not, a window without a
    // notification area is never minimised by the program.
    bool minimiseReported() const;

    // Puts the window away as a minimised window: hidden into the notification
    // area, or minimised on the taskbar where there is none (left as it is where
    // minimising is not reported). The window keeps windowState as its state
    // while hidden.
    void putAway(Qt::WindowStates windowState);
    // The window's state as the program keeps it: a window hidden into the
    // notification area keeps the state it had, whatever the window system says.
    Qt::WindowStates windowState() const;

    // A click on the icon (also called directly by tests).
    void trayClicked(TrayArea::Click click);
    // Shows the window in front, as a left click on the icon does, also where
    // there is no icon.
    void bringBack();
    // The window's state changed from oldState (called by its changeEvent);
    // fromWindowSystem tells a change the window system reported from one the
    // program made.
    void windowStateChanged(Qt::WindowStates oldState, bool fromWindowSystem);
    // The window was shown (called by its showEvent).
    void windowShown();

private:
    void hideIntoTray(Qt::WindowStates keep);
    void minimiseOnTaskbar();
    void putOnDesktop(Qt::WindowStates windowState);
    void areaChanged();

    QWidget& m_window;
    std::shared_ptr<TrayArea> m_area;
    Hooks m_hooks;
    bool m_shown = false;   // the icon has been added and not removed since
    bool m_hadArea = false; // whether the notification area was there last time we looked
    // While the window that came back from a vanished area settles on the
    // taskbar: an X window manager may map it normally, and say so a moment
    // later, whatever it was asked.
    QDeadlineTimer m_holdMinimised;
    // The window's state while the program keeps it hidden in the icon. The
    // window system's own state of a hidden window means nothing (an X window
    // manager reports what it did with the unmapped window), and setting the
    // state of a hidden window could map it again.
    std::optional<Qt::WindowStates> m_hiddenState;
};
