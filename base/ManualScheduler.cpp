#include "base/ManualScheduler.h"

#include <algorithm>
#include <limits>

Scheduler::TimerId ManualScheduler::schedule(double delaySeconds, Task task)
{
    return m_queue.add(m_now + std::max(0.0, delaySeconds), 0.0, std::move(task));
}

Scheduler::TimerId ManualScheduler::scheduleRepeating(double intervalSeconds, Task task)
{
    // A zero interval would never let the clock move on.
    const double interval = std::max(intervalSeconds, 1e-6);
    return m_queue.add(m_now + interval, interval, std::move(task));
}

void ManualScheduler::post(Task task)
{
    m_queue.add(m_now, 0.0, std::move(task));
}

void ManualScheduler::advance(double seconds)
{
    advanceTo(m_now + std::max(0.0, seconds));
}

void ManualScheduler::advanceTo(double time)
{
    // Virtual time never falls behind: every tick of a repeating timer fires.
    constexpr double kEveryTick = -std::numeric_limits<double>::infinity();
    while (std::optional<TimerQueue::Due> due = m_queue.takeDue(time, kEveryTick)) {
        m_now = std::max(m_now, due->time);
        due->task();
    }
    m_now = std::max(m_now, time);
}
