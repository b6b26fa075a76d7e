#pragma once
#include "base/Scheduler.h"

#include <QElapsedTimer>
#include <QObject>

#include <unordered_map>

class QTimer;

// Timers on the Qt event loop of the thread that owns this object.
class QtScheduler final : public QObject, public Scheduler {
    Q_OBJECT
public:
    explicit QtScheduler(QObject* parent = nullptr);
    ~QtScheduler() override;

    double now() const override;
    TimerId schedule(double delaySeconds, Task task) override;
    TimerId scheduleRepeating(double intervalSeconds, Task task) override;
    void cancel(TimerId id) override;
    void post(Task task) override;

private:
    QElapsedTimer m_clock;
    std::unordered_map<TimerId, QTimer*> m_timers;
    TimerId m_nextId = 1;

    TimerId start(double seconds, bool repeating, Task task);
};
