#include "shell/systemtrayarea.h"

SystemTrayArea::SystemTrayArea() = default;

SystemTrayArea::~SystemTrayArea() = default;

bool SystemTrayArea::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayArea::show(const QIcon& icon, ClickHandler onClick) {
    remove();
    m_icon = std::make_unique<QSystemTrayIcon>(icon);
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
