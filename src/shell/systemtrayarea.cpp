#include "shell/systemtrayarea.h"

#include <QGuiApplication>
#include <QTimer>

#ifndef Q_OS_WIN
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#endif

namespace {
// How often a notification area that came or went is looked for.
constexpr int kAvailabilityCheckMs = 1000;
} // namespace

#ifdef Q_OS_WIN

// No session bus: the toolkit asks the shell, which answers at once.
class BusTrayHosts {
public:
    static std::unique_ptr<BusTrayHosts> ifIconsGoThere() { return nullptr; }
    bool registered() const { return false; }
};

#else

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
class BusTrayHosts : public QObject {
    Q_OBJECT

public:
    // The toolkit puts the icon on the session bus when a watcher there says
    // a host is registered the first time the toolkit asks, and keeps to that
    // for the rest of the process; it asks, and waits for the answer, when
    // the first icon is made. Asked the same way here, once, before that;
    // null when the icon does not go there.
    static std::unique_ptr<BusTrayHosts> ifIconsGoThere() {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected() || !bus.interface())
            return nullptr;
        // Watching first, so that a change while asking is not missed.
        auto hosts = std::make_unique<BusTrayHosts>(bus);
        if (!bus.interface()->isServiceRegistered(kWatcherService).value() ||
            !hostIn(bus.call(hostQuestion())))
            return nullptr;
        return hosts;
    }

    explicit BusTrayHosts(QDBusConnection bus)
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

    bool registered() const { return m_registered; }

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

#endif

SystemTrayArea::SystemTrayArea() : m_busHosts(BusTrayHosts::ifIconsGoThere()) {}

SystemTrayArea::~SystemTrayArea() = default;

// Over the session bus the answer the watcher last gave. Otherwise the toolkit
// looks for an X11 notification area (one question to the X server, which it
// remembers until that area goes), or has none to look for.
bool SystemTrayArea::available() const {
    if (m_busHosts)
        return m_busHosts->registered();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayArea::show(const QIcon& icon, ClickHandler onClick) {
    remove();
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
    // Over the message bus the panel also shows the application's name as
    // the icon's title.
    m_icon->setToolTip(QStringLiteral("NUVOKrc"));
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                     [onClick = std::move(onClick)](QSystemTrayIcon::ActivationReason reason) {
                         if (onClick)
                             onClick(clickOf(reason));
                     });
    m_icon->show();
}

void SystemTrayArea::setIcon(const QIcon& icon) {
    if (m_icon)
        m_icon->setIcon(icon);
}

void SystemTrayArea::remove() {
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
}

// The toolkit docks a shown icon by itself once an area appears, but tells
// nobody; a look once a second is cheap.
void SystemTrayArea::watchAvailability(std::function<void()> onChange) {
    m_watch.reset();
    if (!onChange)
        return;
    m_watch = std::make_unique<QTimer>();
    m_watch->setInterval(kAvailabilityCheckMs);
    QObject::connect(m_watch.get(), &QTimer::timeout,
                     [this, onChange = std::move(onChange), had = available()]() mutable {
                         const bool has = available();
                         if (has != had) {
                             had = has;
                             onChange();
                         }
                     });
    m_watch->start();
}

// xdg-shell has no minimised state a client could see: the compositor
// minimises a window without telling it.
bool SystemTrayArea::minimiseReported() const {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QRect SystemTrayArea::geometry() const {
    return m_icon ? m_icon->geometry() : QRect();
}

TrayArea::Click SystemTrayArea::clickOf(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return Click::Left;
    case QSystemTrayIcon::Context:
        return Click::Right;
    default:
        return Click::Other;
    }
}

#ifndef Q_OS_WIN
#include "systemtrayarea.moc"
#endif
