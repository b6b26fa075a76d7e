#pragma once
#include "base/Scheduler.h"

#include <map>
#include <optional>
#include <utility>

// Timers ordered by due time (ties in scheduling order), for schedulers that
// keep their own clock. Repeating timers are re-armed from their due time,
// not from when they ran, so their period never drifts.
class TimerQueue {
public:
    using TimerId = Scheduler::TimerId;
    using Task = Scheduler::Task;

    struct Due {
        double time;
        Task task;
    };

    // interval 0 makes a one-shot timer; id 0 takes a fresh id.
    TimerId add(double due, double interval, Task task, TimerId id = 0);
    void cancel(TimerId id);
    bool empty() const { return m_queue.empty(); }
    std::size_t size() const { return m_queue.size(); }
    // Only meaningful when not empty().
    double nextDueTime() const { return m_queue.begin()->first.first; }

    // Takes the earliest timer due at or before `time`. A repeating one is
    // re-armed first (so its task may cancel it) at its next due time that
    // is not before `notBefore`: a clock that fell behind skips the ticks it
    // missed rather than firing them in a burst.
    std::optional<Due> takeDue(double time, double notBefore);

private:
    struct Entry {
        TimerId id;
        double interval;
        Task task;
    };
    using Key = std::pair<double, std::uint64_t>; // due time, sequence
    std::map<Key, Entry> m_queue;
    std::uint64_t m_sequence = 0;
    TimerId m_nextId = 1;
};
