#pragma once

#include "shell/notificationservice.h"

#include <memory>

class TrayArea;

// Bubbles as the message of the program's icon in the notification area, the
// way Windows shows them (a toast on Windows 10 and 11). A new message takes
// the place of the one shown, so the numbers mean nothing here.
class TrayMessageNotifications : public NotificationService {
    Q_OBJECT

public:
    explicit TrayMessageNotifications(std::shared_ptr<TrayArea> area, QObject* parent = nullptr);
    void notify(const Bubble& bubble) override;

private:
    std::shared_ptr<TrayArea> m_area;
};
