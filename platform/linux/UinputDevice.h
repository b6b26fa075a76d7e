#pragma once
#include <QString>

#include <linux/input.h>

#include <cstdint>
#include <memory>
#include <vector>

// What a virtual device declares. The kernel passes on only the codes a
// device declared, and the desktop classes the device by them.
struct UinputDeviceLayout {
    struct AbsoluteAxis {
        std::uint16_t code;
        std::int32_t maximum; // the minimum is 0
    };
    const char* name; // "pointer" makes "Velotap pointer"
    std::vector<std::uint16_t> keys;
    std::vector<std::uint16_t> relativeAxes;
    std::vector<AbsoluteAxis> absoluteAxes;
};

// One virtual input device created through /dev/uinput. Only the device
// setup lives here; what is written to it is the sink's business.
class UinputDevice {
public:
    // Who the devices say they are; the udev rule recognises them by it.
    static constexpr std::uint16_t kBusType = BUS_VIRTUAL;
    static constexpr std::uint16_t kVendor = 0x1209;
    static constexpr std::uint16_t kProduct = 0x7654;
    static QString nameOf(const UinputDeviceLayout& layout);

    static std::unique_ptr<UinputDevice> create(const QString& path, const UinputDeviceLayout& layout,
                                                QString* error);
    ~UinputDevice();
    UinputDevice(const UinputDevice&) = delete;
    UinputDevice& operator=(const UinputDevice&) = delete;

    int fd() const { return m_fd; }
    // The kernel's name for the device under /sys/devices/virtual/input
    // ("input17"); empty when the kernel does not tell.
    QString sysName() const { return m_sysName; }

private:
    UinputDevice(int fd, QString sysName) : m_fd(fd), m_sysName(std::move(sysName)) {}
    int m_fd;
    QString m_sysName;
};
