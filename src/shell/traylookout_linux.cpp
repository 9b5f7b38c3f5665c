#include "shell/traylookout.h"

#include "shell/x11notificationarea.h"

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
// How long start-up waits for a watcher that is there to say whether a panel
// is; one that takes longer answers later, without being waited for.
constexpr int kStartAnswerMs = 2000;

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

// The session bus's notification area: whether a watcher is there and whether
// a panel that shows icons (a host) is registered with it, and the X11 one on
// the X11 platform. The watcher is another program and may hang: what it says
// is kept up to date from its signals and from its owner coming and going, and
// it is asked without waiting, so that a look at the area never waits for it.
// Start-up alone waits for its first answer, briefly, so that a window that
// starts hidden in the icon is never shown first.
class LinuxTrayLookout : public QObject, public TrayLookout {
    Q_OBJECT

public:
    LinuxTrayLookout() : m_bus(QDBusConnection::sessionBus()) {
        if (!m_bus.isConnected() || !m_bus.interface())
            return;
        // Watching first, so that a change while asking is not missed.
        m_owner = std::make_unique<QDBusServiceWatcher>(kWatcherService, m_bus,
                                                        QDBusServiceWatcher::WatchForOwnerChange);
        connect(m_owner.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    m_watcher = !newOwner.isEmpty();
                    if (m_watcher) {
                        ask();
                        return;
                    }
                    ++m_question; // an answer still on its way is stale
                    m_answerDue = false;
                    m_host = false;
                });
        m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                      QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(hostRegistered()));
        // Other hosts may still be there.
        m_bus.connect(kWatcherService, kWatcherPath, kWatcherService,
                      QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(ask()));
        m_watcher = m_bus.interface()->isServiceRegistered(kWatcherService).value();
        if (!m_watcher)
            return;
        const QDBusMessage answer = m_bus.call(hostQuestion(), QDBus::Block, kStartAnswerMs);
        if (answer.type() == QDBusMessage::ReplyMessage)
            m_host = hostIn(answer);
        else
            ask();
    }

    bool busWatcher() const override { return m_watcher; }
    bool busHost() const override { return m_host; }
    bool windowSystemArea() const override { return x11NotificationAreaThere(); }
    void askAgain() override {
        // One question at a time: a watcher that hangs is not piled up on.
        if (m_watcher && !m_host && !m_answerDue)
            ask();
    }

private slots:
    void hostRegistered() { m_host = true; }

    // The watcher answers in turn, so its last answer is its latest word; an
    // answer to an earlier question is dropped.
    void ask() {
        const quint64 question = ++m_question;
        m_answerDue = true;
        auto* pending = new QDBusPendingCallWatcher(m_bus.asyncCall(hostQuestion()), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this,
                [this, question](QDBusPendingCallWatcher* answered) {
                    answered->deleteLater();
                    if (question != m_question)
                        return;
                    m_answerDue = false;
                    m_host = hostIn(answered->reply());
                });
    }

private:
    QDBusConnection m_bus;
    std::unique_ptr<QDBusServiceWatcher> m_owner;
    bool m_watcher = false;
    bool m_host = false;
    quint64 m_question = 0;
    bool m_answerDue = false; // the latest question is not answered yet
};

std::unique_ptr<TrayLookout> TrayLookout::forThisDesktop() {
    return std::make_unique<LinuxTrayLookout>();
}

#include "traylookout_linux.moc"
