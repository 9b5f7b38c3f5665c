#include "net/eventpump.h"

#include <QCoreApplication>

namespace eventpump {

void processPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace eventpump
