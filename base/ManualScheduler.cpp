#include "base/ManualScheduler.h"

#include <algorithm>

Scheduler::TimerId ManualScheduler::enqueue(double due, double interval, Task task, TimerId id)
{
    if (id == 0)
        id = m_nextId++;
    m_queue.emplace(Key{due, m_sequence++}, Entry{id, interval, std::move(task)});
    return id;
}

Scheduler::TimerId ManualScheduler::schedule(double delaySeconds, Task task)
{
    return enqueue(m_now + std::max(0.0, delaySeconds), 0.0, std::move(task));
}

Scheduler::TimerId ManualScheduler::scheduleRepeating(double intervalSeconds, Task task)
{
    // A zero interval would never let the clock move on.
    const double interval = std::max(intervalSeconds, 1e-6);
    return enqueue(m_now + interval, interval, std::move(task));
}

void ManualScheduler::cancel(TimerId id)
{
    std::erase_if(m_queue, [id](const auto& item) { return item.second.id == id; });
}

void ManualScheduler::post(Task task)
{
    enqueue(m_now, 0.0, std::move(task));
}

void ManualScheduler::advance(double seconds)
{
    advanceTo(m_now + std::max(0.0, seconds));
}

void ManualScheduler::advanceTo(double time)
{
    while (!m_queue.empty() && m_queue.begin()->first.first <= time) {
        auto node = m_queue.extract(m_queue.begin());
        m_now = std::max(m_now, node.key().first);
        Entry& entry = node.mapped();
        if (entry.interval > 0.0) {
            // Re-arm before running so the task may cancel itself.
            Task copy = entry.task;
            enqueue(m_now + entry.interval, entry.interval, std::move(entry.task), entry.id);
            copy();
        } else {
            entry.task();
        }
    }
    m_now = std::max(m_now, time);
}

double ManualScheduler::nextDueTime() const
{
    return m_queue.empty() ? m_now : m_queue.begin()->first.first;
}
