#pragma once
#include <cstdint>
#include <functional>

// The run loop's clock and timers, behind an interface so the gesture engine
// and everything timed can run on a virtual clock in tests and dry runs.
class Scheduler {
public:
    using TimerId = std::uint64_t; // 0 is never a valid timer
    using Task = std::function<void()>;

    virtual ~Scheduler() = default;

    // Seconds on a monotonic clock.
    virtual double now() const = 0;
    virtual TimerId schedule(double delaySeconds, Task task) = 0;
    virtual TimerId scheduleRepeating(double intervalSeconds, Task task) = 0;
    // Cancelling an unknown, fired or already cancelled timer is harmless.
    virtual void cancel(TimerId id) = 0;
    // Runs the task after the work in progress, before any later timer.
    virtual void post(Task task) = 0;
};
