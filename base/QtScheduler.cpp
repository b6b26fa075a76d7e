#include "base/QtScheduler.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <cmath>

QtScheduler::QtScheduler(QObject* parent) : QObject(parent)
{
    m_clock.start();
}

QtScheduler::~QtScheduler()
{
    for (auto& [id, timer] : m_timers)
        delete timer;
}

double QtScheduler::now() const
{
    return static_cast<double>(m_clock.nsecsElapsed()) / 1e9;
}

Scheduler::TimerId QtScheduler::start(double seconds, bool repeating, Task task)
{
    const TimerId id = m_nextId++;
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    const double ms = std::ceil(std::max(0.0, seconds) * 1000.0);
    timer->setInterval(static_cast<int>(std::min(ms, 2147483647.0)));
    connect(timer, &QTimer::timeout, this, [this, id, repeating, task = std::move(task)] {
        if (!repeating) {
            // Forget the timer first: the task may schedule or cancel others.
            auto it = m_timers.find(id);
            if (it != m_timers.end()) {
                it->second->deleteLater();
                m_timers.erase(it);
            }
        }
        task();
    });
    m_timers.emplace(id, timer);
    timer->start();
    return id;
}

Scheduler::TimerId QtScheduler::schedule(double delaySeconds, Task task)
{
    return start(delaySeconds, false, std::move(task));
}

Scheduler::TimerId QtScheduler::scheduleRepeating(double intervalSeconds, Task task)
{
    return start(std::max(intervalSeconds, 0.001), true, std::move(task));
}

void QtScheduler::cancel(TimerId id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    m_timers.erase(it);
}

void QtScheduler::post(Task task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}
