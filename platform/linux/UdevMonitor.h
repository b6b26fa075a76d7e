#pragma once
#include <memory>

struct udev;
struct udev_monitor;

// Where a device source learns that devices came or went: a descriptor that
// becomes readable when events wait, and a call that consumes them.
class HotplugEvents {
public:
    virtual ~HotplugEvents() = default;
    virtual int fd() const = 0;
    // Reads every waiting event.
    virtual void drain() = 0;
};

// Hotplug events of one kernel subsystem as udev sends them: after its rules
// ran, so a new device node already has its owner and access rights.
class UdevMonitor final : public HotplugEvents {
public:
    // Null when udev's event socket cannot be opened (a container without udev).
    static std::unique_ptr<UdevMonitor> open(const char* subsystem);
    ~UdevMonitor() override;
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    int fd() const override;
    void drain() override;

private:
    UdevMonitor(udev* context, udev_monitor* monitor) : m_context(context), m_monitor(monitor) {}

    udev* m_context;
    udev_monitor* m_monitor;
};
