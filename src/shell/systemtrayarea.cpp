#include "shell/systemtrayarea.h"

#include "shell/traylookout.h"

#include <QGuiApplication>
#include <QTimer>

namespace {

// How often a notification area that came or went is looked for.
constexpr int kAvailabilityCheckMs = 1000;

// Where the toolkit sends icons, once it has decided. It decides once per
// process, in its platform theme, when the first icon is made: over the
// session bus when a panel is registered there (in later releases, when a
// watcher is), else into the window system's own area; an X11 area that comes
// later takes the icon by itself, a panel on the bus does not (and on Wayland
// there is no other way). Its choice is kept nowhere a program can read it,
// so it is mirrored here, process-wide as the toolkit's own.
enum class ToolkitWay { Undecided, SessionBus, WindowSystem };
ToolkitWay g_toolkitWay = ToolkitWay::Undecided;

} // namespace

SystemTrayArea::SystemTrayArea() : m_lookout(TrayLookout::forThisDesktop()) {}

SystemTrayArea::~SystemTrayArea() = default;

// Before the toolkit has decided, only where both its rules agree: a panel on
// the session bus, or the window system's area with no watcher on the bus to
// lead the toolkit astray. After, only the way it took.
SystemTrayArea::Way SystemTrayArea::wayNow() const {
    switch (g_toolkitWay) {
    case ToolkitWay::SessionBus:
        return m_lookout->busHost() ? Way::SessionBus : Way::None;
    case ToolkitWay::WindowSystem:
        return m_lookout->windowSystemArea() ? Way::WindowSystem : Way::None;
    case ToolkitWay::Undecided:
        break;
    }
    if (m_lookout->busHost())
        return Way::SessionBus;
    if (!m_lookout->busWatcher() && m_lookout->windowSystemArea())
        return Way::WindowSystem;
    return Way::None;
}

bool SystemTrayArea::available() const {
    // A waiting icon is in no area yet; the next look makes it.
    if (m_wanted && !m_icon)
        return false;
    return wayNow() != Way::None;
}

void SystemTrayArea::makeIconIfDue() {
    if (!m_wanted || m_icon)
        return;
    const Way way = wayNow();
    if (way == Way::None)
        return;
    if (g_toolkitWay == ToolkitWay::Undecided)
        g_toolkitWay = way == Way::SessionBus ? ToolkitWay::SessionBus : ToolkitWay::WindowSystem;
    m_icon = std::make_unique<QSystemTrayIcon>(m_picture);
    // Over the message bus the panel also shows the application's name as
    // the icon's title.
    m_icon->setToolTip(QStringLiteral("NUVOKrc"));
    QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                     [this](QSystemTrayIcon::ActivationReason reason) {
                         // A copy: the handler may take the icon away.
                         const ClickHandler onClick = m_onClick;
                         if (onClick)
                             onClick(clickOf(reason));
                     });
    m_icon->show();
}

void SystemTrayArea::show(const QIcon& icon, ClickHandler onClick) {
    remove();
    m_wanted = true;
    m_picture = icon;
    m_onClick = std::move(onClick);
    makeIconIfDue();
    look();
}

void SystemTrayArea::setIcon(const QIcon& icon) {
    m_picture = icon;
    if (m_icon)
        m_icon->setIcon(icon);
}

void SystemTrayArea::remove() {
    if (m_icon)
        m_icon->hide();
    m_icon.reset();
    m_wanted = false;
    m_onClick = nullptr;
    look();
}

// Once a second while an icon waits for an area or someone wants to know:
// the toolkit docks a made icon by itself once its area is back, but tells
// nobody, and a look is cheap (the bus's answers are kept, the X server's
// is one question).
void SystemTrayArea::look() {
    const bool needed = (m_wanted && !m_icon) || m_onChange;
    if (!needed) {
        m_watch.reset();
        return;
    }
    if (m_watch)
        return;
    m_watch = std::make_unique<QTimer>();
    m_watch->setInterval(kAvailabilityCheckMs);
    QObject::connect(m_watch.get(), &QTimer::timeout, [this] {
        m_lookout->askAgain();
        makeIconIfDue();
        const bool has = available();
        if (has != m_had) {
            m_had = has;
            if (m_onChange)
                m_onChange();
        }
    });
    m_watch->start();
}

void SystemTrayArea::watchAvailability(std::function<void()> onChange) {
    m_onChange = std::move(onChange);
    m_had = available();
    look();
}

// xdg-shell has no minimised state a client could see: the compositor
// minimises a window without telling it.
bool SystemTrayArea::minimiseReported() const {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QRect SystemTrayArea::geometry() const {
    return m_icon ? m_icon->geometry() : QRect();
}

bool SystemTrayArea::showMessage(const QString& title, const QString& text, int msecs) {
    if (!m_icon || !m_icon->isVisible() || !QSystemTrayIcon::supportsMessages())
        return false;
    m_icon->showMessage(title, text, QSystemTrayIcon::Information, msecs);
    return true;
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
