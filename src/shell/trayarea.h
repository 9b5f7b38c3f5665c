#pragma once

#include <QIcon>
#include <QString>
#include <functional>

// The desktop's notification area, holding at most one icon of the program.
class TrayArea {
public:
    enum class Click { Left, Right, Other };
    using ClickHandler = std::function<void(Click)>;

    virtual ~TrayArea() = default;
    // Whether the desktop has a notification area at all.
    virtual bool available() const = 0;
    // Shows the icon (no menu; its tooltip names the program); clicks on it go
    // to onClick.
    virtual void show(const QIcon& icon, ClickHandler onClick) = 0;
    virtual void setIcon(const QIcon& icon) = 0;
    // Takes the icon away; harmless when there is none.
    virtual void remove() = 0;
    // Calls onChange when a notification area appears or goes away later on,
    // as when the panel starts after the program. Areas that cannot tell
    // never call it.
    virtual void watchAvailability(std::function<void()> onChange) { (void)onChange; }
    // Whether the window system tells the program that the user minimised its
    // window (X11, Windows). A Wayland compositor never does, and may have no
    // way at all to bring a minimised window back: there a click on the icon
    // puts the shown window away, and a window without an area stays open.
    virtual bool minimiseReported() const { return true; }
    // Shows a message at the icon for about msecs; false when there is no
    // shown icon to show it at.
    virtual bool showMessage(const QString& title, const QString& text, int msecs) {
        (void)title;
        (void)text;
        (void)msecs;
        return false;
    }
};
