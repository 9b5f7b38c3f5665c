#include "shell/traybushosts.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QObject>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

QDBusMessage hostQuestion() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kWatcherService, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kWatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

// No answer counts as no host, as it does for the toolkit.
bool hostIn(const QDBusMessage& answer) {
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().first().value<QDBusVariant>().variant().toBool();
}

} // namespace

// Whether a panel that shows icons (a host) is registered with the watcher on
// the session bus. The watcher is another program and may hang: the answer is
// kept up to date from its signals and from its owner coming and going, and
// it is asked without waiting, so that a look at the area never waits for it.
class SessionBusTrayHosts : public QObject, public BusTrayHosts {
    Q_OBJECT

public:
    explicit SessionBusTrayHosts(QDBusConnection bus)
        : m_bus(std::move(bus)),
          m_owner(kWatcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
        connect(&m_owner, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    if (!newOwner.isEmpty()) {
                        ask();
                        return;
                    }
                    ++m_question; // an answer still on its way is stale
                    m_registered = false;
                });
        m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                      QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
        // Other hosts may still be there.
        m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                      QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(ask()));
    }

    bool registered() const override { return m_registered; }

private slots:
    void hostRegistered() { m_registered = true; }

    // The watcher answers in turn, so its last answer is its latest word; an
    // answer to an earlier question is dropped.
    void ask() {
        const quint64 question = ++m_question;
        auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(hostQuestion()), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this, question](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    if (question == m_question)
                        m_registered = hostIn(answered->reply());
                });
    }

private:
    QDBusConnection m_bus;
    QDBusServiceWatcher m_owner;
    bool m_registered = true;
    quint64 m_question = 0;
};

// The toolkit puts the icon on the session bus when a watcher there says
// a host is registered the first time the toolkit asks, and keeps to that
// for the rest of the process; it asks, and waits for the answer, when
// the first icon is made. Asked the same way here, once, before that;
// null when the icon does not go there.
std::unique_ptr<BusTrayHosts> BusTrayHosts::ifIconsGoThere() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return nullptr;
    // Watching first, so that a change while asking is not missed.
    auto hosts = std::make_unique<SessionBusTrayHosts>(bus);
    if (!bus.interface()->isServiceRegistered(kWatcherService).value() ||
        !hostIn(bus.call(hostQuestion())))
        return nullptr;
    return hosts;
}

#include "traybushosts_dbus.moc"
