#pragma once
#include "base/Scheduler.h"
#include "base/TimerQueue.h"

// A virtual clock for tests and dry runs: nothing fires until the clock is
// advanced, then due timers fire in time order (ties in scheduling order),
// with now() reading each timer's own due time while it runs.
class ManualScheduler final : public Scheduler {
public:
    explicit ManualScheduler(double start = 1000.0) : m_now(start) {}

    double now() const override { return m_now; }
    TimerId schedule(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override { m_queue.cancel(id); }
    void post(Task task) override;

    // Fires everything due up to now + seconds, then leaves the clock there.
    void advance(double seconds);
    void advanceTo(double time);
    // Runs posted work and timers due at the current time.
    void runDue() { advanceTo(m_now); }
    bool hasPending() const { return !m_queue.empty(); }
    std::size_t pendingCount() const { return m_queue.size(); }
    // Due time of the earliest timer; only meaningful when hasPending().
    double nextDueTime() const { return m_queue.empty() ? m_now : m_queue.nextDueTime(); }

private:
    TimerQueue m_queue;
    double m_now;
};
