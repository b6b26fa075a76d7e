#pragma once
#include "base/Scheduler.h"
#include "base/TimerQueue.h"

#include <QObject>

#include <cstdint>
#include <limits>

class QSocketNotifier;
class QTimer;

// Timers on the Qt event loop of the thread that owns this object. They fire
// at their due time on the monotonic clock to within the kernel's timer
// slack, not rounded to whole milliseconds: a 1/60 s tick is 16.667 ms.
class QtScheduler final : public QObject, public Scheduler {
    Q_OBJECT
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    double now() const override;
    TimerId schedule(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override { m_queue.cancel(id); }
    void post(Task task) override;

private:
    static constexpr double kDisarmed = std::numeric_limits<double>::infinity();

    std::int64_t m_originNs = 0;
    TimerQueue m_queue;
    int m_timerFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    // Only when no timer file descriptor could be made.
    QTimer* m_fallback = nullptr;
    double m_armedDue = kDisarmed;

    // Wakes the loop at the earliest due time.
    void arm();
    void dispatch();
};
