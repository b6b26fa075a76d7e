#include "base/QtScheduler.h"

#include <QDebug>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace

QtScheduler::QtScheduler(QObject* parent) : QObject(parent), m_originNs(monotonicNs())
{
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd >= 0) {
        m_notifier = new QSocketNotifier(m_timerFd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &QtScheduler::dispatch);
        return;
    }
    qWarning().noquote() << "Velotap timers fall back to whole milliseconds:" << std::strerror(errno);
    m_fallback = new QTimer(this);
    m_fallback->setTimerType(Qt::PreciseTimer);
    m_fallback->setSingleShot(true);
    connect(m_fallback, &QTimer::timeout, this, &QtScheduler::dispatch);
}

QtScheduler::~QtScheduler()
{
    delete m_notifier;
    if (m_timerFd >= 0)
        ::close(m_timerFd);
}

double QtScheduler::now() const
{
    return double(monotonicNs() - m_originNs) / 1e9;
}

Scheduler::TimerId QtScheduler::schedule(double delaySeconds, Task task)
{
    const double delay = std::isfinite(delaySeconds) ? std::max(0.0, delaySeconds) : 0.0;
    const TimerId id = m_queue.add(now() + delay, 0.0, std::move(task));
    arm();
    return id;
}

Scheduler::TimerId QtScheduler::scheduleRepeating(double intervalSeconds, Task task)
{
    const double interval = std::isfinite(intervalSeconds) ? std::max(intervalSeconds, 0.001) : 0.001;
    const TimerId id = m_queue.add(now() + interval, interval, std::move(task));
    arm();
    return id;
}

void QtScheduler::post(Task task)
{
    // Through the same queue as the timers, so that it runs before any timer
    // due later even when the loop was held up past that time.
    m_queue.add(now(), 0.0, std::move(task));
    arm();
}

void QtScheduler::arm()
{
    const double due = m_queue.empty() ? kDisarmed : m_queue.nextDueTime();
    // A later timer, or a cancelled earlier one, costs at most a wake-up with nothing due.
    if (due >= m_armedDue)
        return;
    m_armedDue = due;
    if (m_fallback) {
        const double ms = std::ceil(std::max(0.0, due - now()) * 1000.0);
        m_fallback->start(int(std::min(ms, 2147483647.0)));
        return;
    }
    const std::int64_t at = m_originNs + std::int64_t(std::min(due * 1e9, 4e18));
    itimerspec expiry{};
    // Zero would disarm the timer; the clock is far past it anyway.
    expiry.it_value.tv_sec = std::max<std::int64_t>(at, 1) / 1'000'000'000;
    expiry.it_value.tv_nsec = std::max<std::int64_t>(at, 1) % 1'000'000'000;
    timerfd_settime(m_timerFd, TFD_TIMER_ABSTIME, &expiry, nullptr);
}

void QtScheduler::dispatch()
{
    std::uint64_t expirations = 0;
    if (m_timerFd >= 0 && ::read(m_timerFd, &expirations, sizeof expirations) < 0 && errno == EAGAIN)
        return; // nothing expired: a stale wake-up
    m_armedDue = kDisarmed;
    const double time = now();
    while (std::optional<TimerQueue::Due> due = m_queue.takeDue(time, time)) {
        // Armed before the task runs, so a nested event loop in it still
        // wakes for the later timers.
        if (m_queue.empty() || m_queue.nextDueTime() > time)
            arm();
        due->task();
    }
    arm();
}
