#include "net/eventpump.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace eventpump {

void processPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void wait(double dSeconds) {
    using Clock = std::chrono::steady_clock;
    if (!(dSeconds > 0))
        return;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(dSeconds));
    // Sleep in the event loop rather than spin: the wake-up timer ends each
    // blocking pass at the deadline at the latest.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto remaining = std::chrono::duration<double, std::milli>(deadline - now).count();
        wake.start(static_cast<int>(std::ceil(remaining)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

} // namespace eventpump
