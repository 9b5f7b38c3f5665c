#pragma once

// Notification-area icons over the session bus (StatusNotifierItem), seen as
// a panel that hosts them sees them: the item a process registered with the
// watcher, its properties, and the click a panel sends. And a stand-in
// watcher for desktops without a panel that hosts such icons.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

namespace nuvok::test {

// A session bus of the test's own (dbus-daemon), ended with the object. It
// starts no service of the machine on demand: a notification daemon or an
// accessibility bus installed here must not come up on the test's bus (and on
// the user's display) because the program called it; a test starts what it
// wants on the bus itself.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;
    // Empty when the bus could not be started.
    const QString& address() const { return m_address; }
    QDBusConnection connection() const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

struct StatusNotifierItemRef {
    QString service;
    QString path;
    bool valid() const { return !service.isEmpty(); }
};

// The item that process pid registered with the watcher on this bus; invalid
// when there is none (yet).
StatusNotifierItemRef findStatusNotifierItem(const QDBusConnection& bus, qint64 pid);
// A property of the item; invalid when it cannot be read.
QVariant statusNotifierProperty(const QDBusConnection& bus, const StatusNotifierItemRef& item,
                                const QString& name);
// The title of the item's ToolTip property (an icon name, icon pictures, a
// title and a text); empty when it cannot be read.
QString statusNotifierToolTipTitle(const QDBusConnection& bus, const StatusNotifierItemRef& item);
// What a panel sends on a left click (Activate) or a right click
// (ContextMenu) at a point of the screen; whether the call was delivered.
bool activateStatusNotifierItem(const QDBusConnection& bus, const StatusNotifierItemRef& item);
bool contextMenuStatusNotifierItem(const QDBusConnection& bus, const StatusNotifierItemRef& item);

// The panel's part of the protocol on a bus: owns org.kde.StatusNotifierWatcher,
// takes the items' registrations and says a host is there.
class StatusNotifierWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

public:
    explicit StatusNotifierWatcher(QDBusConnection bus);
    ~StatusNotifierWatcher() override;
    // Whether the name and the object are on the bus.
    bool registered() const { return m_registered; }

    QStringList RegisteredStatusNotifierItems() const { return m_items; }
    bool IsStatusNotifierHostRegistered() const { return m_hostRegistered; }
    int ProtocolVersion() const { return 0; }
    // A panel that shows the icons starting or ending, said as a watcher says
    // it; there is one from the start.
    void setHostRegistered(bool registered);

public slots:
    void RegisterStatusNotifierItem(const QString& serviceOrPath);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierItemUnregistered(const QString& item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    QDBusConnection m_bus;
    QStringList m_items;
    bool m_registered = false;
    bool m_hostRegistered = true;
};

} // namespace nuvok::test
