#pragma once
#include "base/Scheduler.h"

#include <QString>
#include <QStringList>

#include <functional>

// Where the kernel and udev show devices; tests point these at a fake tree.
struct VirtualDevicePaths {
    QString sysfsRoot = QStringLiteral("/sys");
    QString udevDataDir = QStringLiteral("/run/udev/data");
};

// Events sent through a new virtual device before the desktop has opened it
// are lost. This waits until udev has announced each device's event node
// (the desktop learns of new devices from udev), then gives the desktop a
// moment to open it. Without udev it stops waiting after kLongestWait.
class VirtualDeviceReadiness {
public:
    static constexpr double kPollInterval = 0.01;
    static constexpr double kOpenGrace = 0.2;
    static constexpr double kLongestWait = 1.0;

    // sysNames as UinputDevice::sysName gives them; onReady runs once, from
    // a scheduler task.
    VirtualDeviceReadiness(Scheduler& scheduler, QStringList sysNames, std::function<void()> onReady,
                           VirtualDevicePaths paths = {});
    ~VirtualDeviceReadiness();
    VirtualDeviceReadiness(const VirtualDeviceReadiness&) = delete;
    VirtualDeviceReadiness& operator=(const VirtualDeviceReadiness&) = delete;

    bool isReady() const { return m_ready; }

private:
    void poll();
    void settle();
    bool announced(const QString& sysName) const;

    Scheduler& m_scheduler;
    QStringList m_waiting;
    std::function<void()> m_onReady;
    VirtualDevicePaths m_paths;
    double m_giveUpAt;
    Scheduler::TimerId m_timer = 0;
    bool m_ready = false;
};
