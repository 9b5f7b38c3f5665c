#include "shell/systemtrayarea.h"

#include "shell/traybushosts.h"

#include <QGuiApplication>
#include <QTimer>

namespace {
// How often a notification area that came or went is looked for.
constexpr int kAvailabilityCheckMs = 1000;
} // namespace

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
