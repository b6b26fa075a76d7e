#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

// Runs the event loop until `done` holds (a reply from another process
// arrived); false when it did not within the limit.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}
