#pragma once

#include "shell/trayarea.h"

#include <QIcon>
#include <QRect>
#include <QSystemTrayIcon>
#include <memory>

class QTimer;
class TrayLookout;

// The notification area through QSystemTrayIcon. The toolkit decides where
// icons go (the session bus or the window system's own area) the first time
// an icon is made or the area is asked for, and keeps to that for the rest
// of the process, also when that way has no area and the other gets one. So
// the toolkit is neither asked nor given an icon until an area is there; the
// icon waits here until then.
class SystemTrayArea : public TrayArea {
public:
    SystemTrayArea();
    ~SystemTrayArea() override;
    // Whether an area holds the icon, or, while none is shown, would take it.
    bool available() const override;
    void show(const QIcon& icon, ClickHandler onClick) override;
    void setIcon(const QIcon& icon) override;
    void remove() override;
    void watchAvailability(std::function<void()> onChange) override;
    bool minimiseReported() const override;
    bool showMessage(const QString& title, const QString& text, int msecs) override;

    // Where the icon is on the screen; empty when unknown or not shown.
    QRect geometry() const;
    static Click clickOf(QSystemTrayIcon::ActivationReason reason);

private:
    enum class Way { None, SessionBus, WindowSystem };
    // The way an icon made now would go, None when it would go nowhere.
    Way wayNow() const;
    // Makes the waiting icon once an area is there.
    void makeIconIfDue();
    void look();

    std::unique_ptr<TrayLookout> m_lookout;
    bool m_wanted = false; // shown and not removed since
    QIcon m_picture;
    ClickHandler m_onClick;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::function<void()> m_onChange;
    bool m_had = false; // what the last look found
    std::unique_ptr<QTimer> m_watch;
};
