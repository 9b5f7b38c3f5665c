#include "shell/notificationservice.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// A service that has not answered by then is taken as not answering; the next
// bubble asks again.
constexpr int kAnswerDeadlineMs = 1000;

QVariantMap hintsOf(const Bubble& bubble) {
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("nuvokrc"));
    if (bubble.kind == Bubble::Kind::Status) {
        // The stack tags make the servers that know them replace the bubble
        // in place, even when our number for it was lost; a transient bubble
        // stays out of the desktop's history.
        hints.insert(QStringLiteral("x-canonical-private-synchronous"), QStringLiteral("nuvokrc"));
        hints.insert(QStringLiteral("x-dunst-stack-tag"), QStringLiteral("nuvokrc"));
        hints.insert(QStringLiteral("transient"), true);
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(0)));
    } else {
        hints.insert(QStringLiteral("x-dunst-stack-tag"), QStringLiteral("nuvokrc-failure"));
        hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    }
    if (bubble.value)
        hints.insert(QStringLiteral("value"), *bubble.value);
    return hints;
}

QString reasonOf(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return QStringLiteral("the desktop has no notification service");
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("the notification service did not answer within %1 s")
            .arg(kAnswerDeadlineMs / 1000.0);
    case QDBusError::Disconnected:
        return QStringLiteral("there is no session bus");
    default:
        return QStringLiteral("the notification service refused it (%1)")
            .arg(error.message().isEmpty() ? error.name() : error.message());
    }
}

// Bubbles through the desktop's notification service on the session bus.
class BusNotifications : public NotificationService {
public:
    void notify(const Bubble& bubble) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            const QString reason = QStringLiteral("there is no session bus");
            QMetaObject::invokeMethod(
                this, [this, reason] { emit failed(reason); }, Qt::QueuedConnection);
            return;
        }
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
        call << QStringLiteral("NUVOKrc") << bubble.replacesId << QStringLiteral("nuvokrc")
             << bubble.summary << bubble.body << QStringList() << hintsOf(bubble)
             << qint32(bubble.timeoutMs);
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerDeadlineMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    call->deleteLater();
                    const QDBusPendingReply<quint32> reply = *call;
                    if (reply.isError())
                        emit failed(reasonOf(reply.error()));
                    else
                        emit shown(reply.value());
                });
    }
};

} // namespace

std::unique_ptr<NotificationService> createNotificationService(std::shared_ptr<TrayArea>) {
    return std::make_unique<BusNotifications>();
}
