#include "platform/linux/UdevMonitor.h"

#include <libudev.h>

std::unique_ptr<UdevMonitor> UdevMonitor::open(const char* subsystem)
{
    udev* context = udev_new();
    if (!context)
        return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, subsystem, nullptr) < 0
        || udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor)
            udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::unique_ptr<UdevMonitor>(new UdevMonitor(context, monitor));
}

UdevMonitor::~UdevMonitor()
{
    udev_monitor_unref(m_monitor);
    udev_unref(m_context);
}

int UdevMonitor::fd() const
{
    return udev_monitor_get_fd(m_monitor);
}

void UdevMonitor::drain()
{
    // The socket is non-blocking: receiving stops when nothing waits.
    while (udev_device* device = udev_monitor_receive_device(m_monitor))
        udev_device_unref(device);
}
