#pragma once

#include "shell/trayarea.h"

#include <QRect>
#include <QSystemTrayIcon>
#include <memory>

class QTimer;
class BusTrayHosts;

// The notification area through QSystemTrayIcon.
class SystemTrayArea : public TrayArea {
public:
    SystemTrayArea();
    ~SystemTrayArea() override;
    bool available() const override;
    void show(const QIcon& icon, ClickHandler onClick) override;
    void setIcon(const QIcon& icon) override;
    void remove() override;
    void watchAvailability(std::function<void()> onChange) override;
    bool minimiseReported() const override;

    // Where the icon is on the screen; empty when unknown or not shown.
    QRect geometry() const;
    static Click clickOf(QSystemTrayIcon::ActivationReason reason);

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
    std::unique_ptr<QTimer> m_watch;
    // Set when the icon goes to a panel over the session bus.
    std::unique_ptr<BusTrayHosts> m_busHosts;
};
