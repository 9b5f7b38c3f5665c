#include "app/icons.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

namespace icons {

namespace {

// A handset seen from above: a rounded body, a ring of keys and a signal arc.
QPixmap handset(const QColor& body) {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(body.darker(170), 2));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(18, 10, 28, 50), 8, 8);
    p.setBrush(Qt::white);
    p.setPen(QPen(body.darker(200), 1.5));
    p.drawEllipse(QPointF(32, 27), 8, 8);
    p.setBrush(body.darker(150));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 3; ++col)
            p.drawEllipse(QPointF(24 + col * 8, 44 + row * 7), 2.2, 2.2);
    p.setPen(QPen(body.darker(170), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(22, 0, 20, 12), 30 * 16, 120 * 16);
    return pixmap;
}

} // namespace

QIcon idle() {
    return QIcon(handset(QColor(40, 170, 60)));
}
QIcon busy() {
    return QIcon(handset(QColor(40, 90, 220)));
}

} // namespace icons
