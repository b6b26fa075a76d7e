#pragma once
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>

#include <gtest/gtest.h>

#include <functional>

// Runs the event loop, deferred deletions included, until `condition`
// holds; false when it did not within timeoutMs.
inline bool becomesTrue(const std::function<bool()>& condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
}

// Waits for what another process (the X server, a bus peer, the kernel)
// brings about, and fails the test when it does not come. QTRY_* cannot do
// this here: it reports only to QTest's own runner, so under gtest its
// failures went unnoticed and ended the test early as a pass.
#define ASSERT_EVENTUALLY(condition, timeoutMs)                                                   \
    ASSERT_TRUE(becomesTrue([&] { return static_cast<bool>(condition); }, (timeoutMs)))           \
        << "still false after " << (timeoutMs) << " ms: " #condition
