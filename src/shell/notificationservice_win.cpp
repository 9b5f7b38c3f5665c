#include "shell/notificationservice.h"
#include "shell/traymessagenotifications.h"

std::unique_ptr<NotificationService> createNotificationService(std::shared_ptr<TrayArea> area) {
    return std::make_unique<TrayMessageNotifications>(std::move(area));
}
