#include "support/statusnotifier.h"

#include "support/eventwait.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>

namespace nuvok::test {

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// "service/path" or a bare service name, as watchers keep them.
StatusNotifierItemRef parseItem(const QString& entry) {
    const qsizetype slash = entry.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {entry, QStringLiteral("/StatusNotifierItem")};
    return {entry.left(slash), entry.mid(slash)};
}

// Asked without blocking: the program may be asking this process's own
// watcher at the same moment, which answers only from the event loop.
QDBusMessage callWithoutBlocking(const QDBusConnection& bus, const QDBusMessage& call) {
    QDBusPendingCall pending = bus.asyncCall(call, 5000);
    nuvok::test::waitUntil([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

QVariant getProperty(const QDBusConnection& bus, const QString& service, const QString& path,
                     const QString& interface, const QString& name) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, kPropertiesInterface, QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage answer = callWithoutBlocking(bus, call);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        qWarning("%s %s %s: %s", qPrintable(service), qPrintable(path), qPrintable(name),
                 qPrintable(answer.errorName() + QLatin1Char(' ') + answer.errorMessage()));
        return {};
    }
    return answer.arguments().first().value<QDBusVariant>().variant();
}

bool click(const QDBusConnection& bus, const StatusNotifierItemRef& item, const QString& method) {
    if (!item.valid())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(item.service, item.path, kItemInterface, method);
    call << 10 << 10;
    return callWithoutBlocking(bus, call).type() == QDBusMessage::ReplyMessage;
}

} // namespace

PrivateSessionBus::PrivateSessionBus() {
    // A session bus as the machine's, but with no service folders: no
    // <servicedir> and no <standard_session_servicedirs/>.
    QFile config(m_dir.filePath(QStringLiteral("session.conf")));
    if (!m_dir.isValid() || !config.open(QIODevice::WriteOnly))
        return;
    config.write(
        QStringLiteral(
            R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
            .arg(m_dir.path().toHtmlEscaped())
            .toUtf8());
    config.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config.fileName(),
                    QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000) || !waitUntil([&] { return m_daemon.canReadLine(); }, 15000))
        return;
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus() {
    QDBusConnection::disconnectFromBus(QStringLiteral("private-session"));
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000)) {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
}

QDBusConnection PrivateSessionBus::connection() const {
    return QDBusConnection::connectToBus(m_address, QStringLiteral("private-session"));
}

StatusNotifierItemRef findStatusNotifierItem(const QDBusConnection& bus, qint64 pid) {
    const QStringList items = getProperty(bus, kWatcherService, kWatcherPath, kWatcherService,
                                          QStringLiteral("RegisteredStatusNotifierItems"))
                                  .toStringList();
    for (const QString& entry : items) {
        const StatusNotifierItemRef item = parseItem(entry);
        const QDBusReply<uint> owner = bus.interface()->servicePid(item.service);
        if (owner.isValid() && qint64(owner.value()) == pid)
            return item;
    }
    return {};
}

QVariant statusNotifierProperty(const QDBusConnection& bus, const StatusNotifierItemRef& item,
                                const QString& name) {
    if (!item.valid())
        return {};
    return getProperty(bus, item.service, item.path, kItemInterface, name);
}

QString statusNotifierToolTipTitle(const QDBusConnection& bus, const StatusNotifierItemRef& item) {
    const QVariant toolTip = statusNotifierProperty(bus, item, QStringLiteral("ToolTip"));
    if (!toolTip.canConvert<QDBusArgument>())
        return {};
    const QDBusArgument argument = toolTip.value<QDBusArgument>();
    QString iconName;
    QString title;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> pixels;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title;
    argument.endStructure();
    return title;
}

bool activateStatusNotifierItem(const QDBusConnection& bus, const StatusNotifierItemRef& item) {
    return click(bus, item, QStringLiteral("Activate"));
}

bool contextMenuStatusNotifierItem(const QDBusConnection& bus, const StatusNotifierItemRef& item) {
    return click(bus, item, QStringLiteral("ContextMenu"));
}

StatusNotifierWatcher::StatusNotifierWatcher(QDBusConnection bus) : m_bus(std::move(bus)) {
    m_registered =
        m_bus.registerObject(kWatcherPath, this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties) &&
        m_bus.registerService(kWatcherService);
}

StatusNotifierWatcher::~StatusNotifierWatcher() {
    m_bus.unregisterService(kWatcherService);
    m_bus.unregisterObject(kWatcherPath);
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& serviceOrPath) {
    // A path alone belongs to the caller's own connection.
    const QString sender = calledFromDBus() ? message().service() : QString();
    const QString entry = serviceOrPath.startsWith(QLatin1Char('/'))
                              ? sender + serviceOrPath
                              : serviceOrPath + QStringLiteral("/StatusNotifierItem");
    if (m_items.contains(entry))
        return;
    m_items << entry;
    emit StatusNotifierItemRegistered(entry);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString& service) {
    (void)service;
    setHostRegistered(true);
}

void StatusNotifierWatcher::setHostRegistered(bool registered) {
    m_hostRegistered = registered;
    if (registered)
        emit StatusNotifierHostRegistered();
    else
        emit StatusNotifierHostUnregistered();
}

} // namespace nuvok::test
