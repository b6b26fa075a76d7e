#pragma once
#include "touch/HidDeviceSource.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class HotplugEvents;
class QFileSystemWatcher;

// HID interfaces as Linux shows them: /sys/class/hidraw for the properties and
// the report descriptor, /dev/hidrawN for the reports (one report per read).
// Every path and system call that touches a real device is injectable so tests
// run on a fake tree with a socketpair standing in for the node.
class SysfsHidDeviceSource final : public QObject, public HidDeviceSource {
    Q_OBJECT
public:
    struct Options {
        QString sysfsRoot = QStringLiteral("/sys");
        QString devRoot = QStringLiteral("/dev");
        // Returns a file descriptor, or -1 with errno set.
        std::function<int(const QByteArray& path, int flags)> openNode;
        // EVIOCGRAB on an evdev node; returns 0 on success.
        std::function<int(int fd, bool grab)> grabInputNode;
        std::function<bool(const QString& path)> isReadable;
        // Hotplug events; udev's monitor by default. Without any (no udev),
        // the dev directory is watched instead.
        std::function<std::unique_ptr<HotplugEvents>()> hotplugEvents;
    };

    SysfsHidDeviceSource();
    explicit SysfsHidDeviceSource(Options options);
    ~SysfsHidDeviceSource() override;

    std::vector<HidDeviceInfo> devices() const override;
    bool canRead(const HidDeviceInfo& device) const override;
    std::unique_ptr<HidInputStream> open(const HidDeviceInfo& device, const OpenOptions& options,
                                         ReportHandler onReport, RemovalHandler onRemoval,
                                         OpenFailure* failure = nullptr, int* errorCode = nullptr) override;

    // The kernel's evdev nodes made from the same HID device as a hidraw node.
    QStringList inputNodesOf(const QString& hidrawNode) const;
    // Whether each of them could be taken from the desktop now: tried, and
    // let go at once.
    std::vector<KernelInputNode> probeInputNodes(const QString& hidrawNode) const;

protected:
    void watchDevices() override;

private:
    Options m_options;
    std::unique_ptr<HotplugEvents> m_hotplug;
    // Nodes the user could not read, watched until their access changes
    // (udev or logind may grant it a moment after the node appears).
    QFileSystemWatcher* m_accessWatcher = nullptr;

    HidDeviceInfo deviceInfo(const QString& hidrawName) const;
    void watchUntilReadable(const QString& node) const;
};
