#include "app/icons.h"

namespace icons {

QIcon idle() {
    return QIcon(QStringLiteral(":/icons/idle.png"));
}
QIcon busy() {
    return QIcon(QStringLiteral(":/icons/busy.png"));
}

} // namespace icons
