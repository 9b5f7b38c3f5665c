#include "support/notificationstandin.h"

namespace nuvok::test {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
} // namespace

NotificationStandIn::NotificationStandIn(QDBusConnection bus) : m_bus(std::move(bus)) {
    m_registered = m_bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots) &&
                   m_bus.registerService(kService);
}

NotificationStandIn::~NotificationStandIn() {
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath);
}

uint NotificationStandIn::Notify(const QString& appName, uint replacesId, const QString&,
                                 const QString& summary, const QString& body, const QStringList&,
                                 const QVariantMap& hints, int expireTimeout) {
    Call call{appName, replacesId, summary, body, hints, expireTimeout, 0};
    if (m_answer == Answer::Hang) {
        setDelayedReply(true);
        m_unanswered << message();
        m_calls << call;
        return 0;
    }
    if (m_answer == Answer::Refuse) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("bubbles are not wanted"));
        m_calls << call;
        return 0;
    }
    // A bubble it knows is replaced under its own number, as the servers do.
    bool known = false;
    for (const Call& earlier : m_calls)
        known = known || (replacesId != 0 && earlier.id == replacesId);
    call.id = known ? replacesId : ++m_lastId;
    m_calls << call;
    return call.id;
}

QStringList NotificationStandIn::GetCapabilities() const {
    return {QStringLiteral("body")};
}

QString NotificationStandIn::GetServerInformation(QString& vendor, QString& version,
                                                  QString& specVersion) const {
    vendor = QStringLiteral("test");
    version = QStringLiteral("1");
    specVersion = QStringLiteral("1.2");
    return QStringLiteral("stand-in");
}

void NotificationStandIn::CloseNotification(uint) {}

} // namespace nuvok::test
