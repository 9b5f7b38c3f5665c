#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

namespace nuvok::test {

// Processes events until the condition holds or the timeout passes; returns
// whether the condition held. Used instead of fixed sleeps.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace nuvok::test
