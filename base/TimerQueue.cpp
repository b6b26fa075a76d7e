#include "base/TimerQueue.h"

#include <cmath>

TimerQueue::TimerId TimerQueue::add(double due, double interval, Task task, TimerId id)
{
    if (id == 0)
        id = m_nextId++;
    m_queue.emplace(Key{due, m_sequence++}, Entry{id, interval, std::move(task)});
    return id;
}

void TimerQueue::cancel(TimerId id)
{
    if (id == 0)
        return;
    std::erase_if(m_queue, [id](const auto& item) { return item.second.id == id; });
}

std::optional<TimerQueue::Due> TimerQueue::takeDue(double time, double notBefore)
{
    if (m_queue.empty() || m_queue.begin()->first.first > time)
        return std::nullopt;
    auto node = m_queue.extract(m_queue.begin());
    const double due = node.key().first;
    Entry& entry = node.mapped();
    if (entry.interval <= 0.0)
        return Due{due, std::move(entry.task)};
    double next = due + entry.interval;
    if (next < notBefore)
        next += std::ceil((notBefore - next) / entry.interval) * entry.interval;
    Task copy = entry.task;
    add(next, entry.interval, std::move(entry.task), entry.id);
    return Due{due, std::move(copy)};
}
