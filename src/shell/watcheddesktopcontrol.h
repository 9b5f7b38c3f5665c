#pragma once

#include "shell/desktopcontrol.h"

#include <QPointer>
#include <QSocketNotifier>

#include <memory>

// A desktop back-end whose connection to the display server is read by the
// event loop between keys: a program that idles in the tray for months must
// not let the server's notifications pile up unread.
class WatchedDesktopControl final : public nuvok::DesktopControl {
public:
    explicit WatchedDesktopControl(std::unique_ptr<nuvok::DesktopControl> backEnd);
    ~WatchedDesktopControl() override;
    WatchedDesktopControl(const WatchedDesktopControl&) = delete;
    WatchedDesktopControl& operator=(const WatchedDesktopControl&) = delete;

    void activateWindow(const std::string& title) override { m_backEnd->activateWindow(title); }
    void sendKeys(const std::string& keys) override { m_backEnd->sendKeys(keys); }
    std::vector<std::string> windowTitles() override { return m_backEnd->windowTitles(); }

private:
    void watch(int descriptor);
    void letGo();

    std::unique_ptr<nuvok::DesktopControl> m_backEnd;
    QPointer<QSocketNotifier> m_notifier;
};
