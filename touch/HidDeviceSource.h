#pragma once
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Property keys of a HID device, as discovery and the device entries read them.
namespace HidProperty {
inline const QString VendorID = QStringLiteral("VendorID");
inline const QString ProductID = QStringLiteral("ProductID");
inline const QString LocationID = QStringLiteral("LocationID");
inline const QString Manufacturer = QStringLiteral("Manufacturer");
inline const QString Product = QStringLiteral("Product");
inline const QString SerialNumber = QStringLiteral("SerialNumber");
inline const QString Transport = QStringLiteral("Transport");
inline const QString PrimaryUsagePage = QStringLiteral("PrimaryUsagePage");
inline const QString PrimaryUsage = QStringLiteral("PrimaryUsage");
inline const QString MaxInputReportSize = QStringLiteral("MaxInputReportSize");
inline const QString ReportDescriptor = QStringLiteral("ReportDescriptor"); // QByteArray
// Where the kernel says the device is attached ("usb-0000:00:14.0-6.3/input0").
inline const QString PhysicalPath = QStringLiteral("PhysicalPath");
// Every top-level (usage page, usage) of the device: a QVariantList of maps
// with "DeviceUsagePage" and "DeviceUsage"; what device matching compares.
inline const QString DeviceUsagePairs = QStringLiteral("DeviceUsagePairs");
inline const QString DeviceUsagePage = QStringLiteral("DeviceUsagePage");
inline const QString DeviceUsage = QStringLiteral("DeviceUsage");
} // namespace HidProperty

// One HID interface as the platform lists it. Numbers are qint64, strings
// QString, the descriptor a QByteArray; an absent property is not in the map.
struct HidDeviceInfo {
    QString node;           // what open() needs, e.g. /dev/hidraw3
    QVariantMap properties;
};

// One of the kernel's input nodes made from the same device, from which the
// desktop reads touches, and why it could not be taken from the desktop.
struct KernelInputNode {
    QString node;  // e.g. /dev/input/event7
    int error = 0; // the system's error number; 0 when it was taken
};

// An open device. Reports arrive on the main thread until it is destroyed
// (or until it reports its removal, after which nothing more arrives).
class HidInputStream {
public:
    virtual ~HidInputStream() = default;
    // With grabKernelInput: the kernel input nodes still left to the desktop,
    // so touches may act twice. Taking them is retried while the device is
    // open.
    virtual std::vector<KernelInputNode> untakenInputNodes() const { return {}; }
};

class HidDeviceSource {
public:
    // One whole input report, report ID first when the device numbers its reports.
    using ReportHandler = std::function<void(const std::uint8_t* report, int length)>;
    // The device went away or can no longer be read.
    using RemovalHandler = std::function<void()>;

    struct OpenOptions {
        // Take the kernel's own input nodes of the device away from the desktop
        // while open, so touches are not acted on twice.
        bool grabKernelInput = true;
        // Called on the main thread when untakenInputNodes() changed after open().
        std::function<void()> untakenInputNodesChanged;
    };

    enum class OpenFailure { None, PermissionDenied, NotFound, Other };

    virtual ~HidDeviceSource() = default;

    // Every HID interface currently present, in a stable order.
    virtual std::vector<HidDeviceInfo> devices() const = 0;
    // Whether the user may read this device's input reports.
    virtual bool canRead(const HidDeviceInfo& device) const = 0;
    // Opens the device non-blocking; on failure returns null, and sets *failure
    // and *errorCode (the system's error number) when given.
    virtual std::unique_ptr<HidInputStream> open(const HidDeviceInfo& device, const OpenOptions& options,
                                                 ReportHandler onReport, RemovalHandler onRemoval,
                                                 OpenFailure* failure = nullptr, int* errorCode = nullptr) = 0;
    // Observers are called on the main thread whenever devices may have come
    // or gone, or a node may have become readable. Any number may watch (the
    // bridge and the settings window do); removing one inside a call is safe.
    using ObserverToken = quint64;
    ObserverToken addDevicesChangedObserver(std::function<void()> observer);
    void removeDevicesChangedObserver(ObserverToken token);

protected:
    void notifyDevicesChanged();
    // Called when the first observer is added: a source watches the system
    // only while someone listens.
    virtual void watchDevices() {}

private:
    std::vector<std::pair<ObserverToken, std::function<void()>>> m_observers;
    ObserverToken m_nextToken = 1;
    bool m_watching = false;
};
