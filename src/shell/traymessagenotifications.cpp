#include "shell/traymessagenotifications.h"

#include "shell/trayarea.h"

#include <QMetaObject>

TrayMessageNotifications::TrayMessageNotifications(std::shared_ptr<TrayArea> area, QObject* parent)
    : NotificationService(parent), m_area(std::move(area)) {}

void TrayMessageNotifications::notify(const Bubble& bubble) {
    // A message without text shows nothing at all on Windows: a status is its
    // summary alone, under the program's name.
    const QString title = QStringLiteral("NUVOKrc");
    const QString text = bubble.body.isEmpty() ? bubble.summary : bubble.body;
    const bool shown = m_area && m_area->showMessage(title, text, bubble.timeoutMs);
    // Answered from the event loop, as a service over a bus answers.
    QMetaObject::invokeMethod(
        this,
        [this, shown] {
            if (shown)
                emit this->shown(0);
            else
                emit failed(QStringLiteral("the notification area has no icon to show it at"));
        },
        Qt::QueuedConnection);
}
