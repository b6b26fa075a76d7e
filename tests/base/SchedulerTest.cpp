#include "base/ManualScheduler.h"
#include "base/QtScheduler.h"
#include "base/TimerQueue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

namespace {

TEST(ManualScheduler, FiresInTimeOrderPostsAfterDueTimersAndTasksScheduleAndCancel)
{
    ManualScheduler scheduler(10.0);
    QStringList order;
    QList<double> times;
    auto record = [&](const char* name) {
        return [&, name] {
            order << QString::fromLatin1(name);
            times << scheduler.now();
        };
    };
    const auto cancelled = scheduler.schedule(0.2, [&] { order << "cancelled"; });
    scheduler.schedule(0.3, record("c"));
    scheduler.schedule(0.1, [&] {
        scheduler.post([&] { order << "posted"; });
        record("a")();
        scheduler.cancel(cancelled);
        // Due inside the same advance: must still fire, and after "a".
        scheduler.schedule(0.05, [&] { order << "nested"; });
    });
    scheduler.schedule(0.1, record("b")); // same time: scheduling order
    scheduler.schedule(1.0, record("late"));
    int ticks = 0;
    Scheduler::TimerId repeating = 0;
    repeating = scheduler.scheduleRepeating(0.25, [&] {
        if (++ticks == 3)
            scheduler.cancel(repeating);
    });
    scheduler.cancel(12345); // unknown id is harmless

    scheduler.advance(0.6);
    // Posted work queues behind timers already due at that moment.
    EXPECT_EQ(order, QStringList({"a", "b", "posted", "nested", "c"}));
    EXPECT_EQ(times, QList<double>({10.1, 10.1, 10.3}));
    EXPECT_DOUBLE_EQ(scheduler.now(), 10.6);
    EXPECT_EQ(ticks, 2);
    EXPECT_DOUBLE_EQ(scheduler.nextDueTime(), 10.75);

    scheduler.post([&] { order << "idle post"; });
    EXPECT_EQ(order.size(), 5); // nothing runs until the clock is driven
    scheduler.runDue();
    EXPECT_EQ(order.last(), "idle post");
    scheduler.advance(10.0);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(order.last(), "late");
    EXPECT_FALSE(scheduler.hasPending());
}

TEST(TimerQueue, RepeatingTimerKeepsItsPhaseAndSkipsTicksAClockMissed)
{
    TimerQueue queue;
    const double tick = 1.0 / 60;
    queue.add(tick, tick, [] {});
    // Taken on time, each tick is re-armed from its due time: after 600
    // ticks the next is due at exactly 601/60 s, not later by the sum of
    // whatever each run was late.
    for (int i = 1; i <= 600; ++i) {
        const auto due = queue.takeDue(i * tick + 0.004, i * tick + 0.004);
        ASSERT_TRUE(due);
        ASSERT_NEAR(due->time, i * tick, 1e-9);
    }
    EXPECT_NEAR(queue.nextDueTime(), 601 * tick, 1e-9);
    EXPECT_FALSE(queue.takeDue(601 * tick - 1e-6, 0));

    // A clock 45 ms behind gets one tick now and the next one on the old
    // grid after the present, not three ticks in a burst.
    const double late = 601 * tick + 0.045;
    ASSERT_TRUE(queue.takeDue(late, late));
    EXPECT_FALSE(queue.takeDue(late, late));
    EXPECT_NEAR(queue.nextDueTime(), 604 * tick, 1e-9);
    EXPECT_EQ(queue.size(), 1u);
}

TEST(QtScheduler, RunsTimersPostsAndCancelsOnTheEventLoop)
{
    QtScheduler scheduler;
    QStringList order;
    bool done = false;
    const double start = scheduler.now();
    auto cancelled = scheduler.schedule(0.01, [&] { order << "cancelled"; });
    scheduler.cancel(cancelled);
    int ticks = 0;
    Scheduler::TimerId repeating = 0;
    repeating = scheduler.scheduleRepeating(0.005, [&] {
        if (++ticks == 3)
            scheduler.cancel(repeating);
    });
    scheduler.post([&] { order << "posted"; });
    scheduler.schedule(0.05, [&] {
        order << "timer";
        done = true;
    });

    QElapsedTimer guard;
    guard.start();
    // A loop held up by a busy machine may skip ticks; the third still comes.
    while ((!done || ticks < 3) && guard.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    EXPECT_EQ(order, QStringList({"posted", "timer"}));
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(scheduler.now() - start, 0.049);
}

} // namespace
