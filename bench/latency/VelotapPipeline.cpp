#include "bench/latency/Roles.h"
#include "tests/support/SyntheticTouchDisplay.h"

#include "base/NotificationCenter.h"
#include "base/QtScheduler.h"
#include "base/UserDefaults.h"
#include "platform/linux/SysfsHidDeviceSource.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "platform/linux/XTestEventSink.h"
#include "settings/SettingsStore.h"
#include "touch/VTTouchBridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// hidraw0 of a USB touch screen, with the synthetic display's descriptor.
bool makeSysfsTree(const QString& root, const QByteArray& descriptor)
{
    const QString device = root + QStringLiteral("/sys/class/hidraw/hidraw0/device");
    return QDir().mkpath(device) && QDir().mkpath(root + QStringLiteral("/dev"))
        && writeFile(device + QStringLiteral("/uevent"),
                     "DRIVER=hid-multitouch\nHID_ID=0003:00001D50:00006189\nHID_NAME=Synthetic Touch Screen\n"
                     "HID_PHYS=usb-0000:00:14.0-1/input0\n")
        && writeFile(device + QStringLiteral("/report_descriptor"), descriptor)
        && writeFile(root + QStringLiteral("/dev/hidraw0"), {});
}

} // namespace

int runVelotapPipeline(int fd, const QByteArray& displayName, int slotCount)
{
    QTemporaryDir root;
    if (!makeSysfsTree(root.path(), SyntheticTouchDisplay(slotCount).descriptor())) {
        std::fprintf(stderr, "cannot make the sysfs tree in %s\n", qPrintable(root.path()));
        return 1;
    }
    SysfsHidDeviceSource::Options options;
    options.sysfsRoot = root.path() + QStringLiteral("/sys");
    options.devRoot = root.path() + QStringLiteral("/dev");
    options.openNode = [fd](const QByteArray&, int) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        return dup(fd);
    };
    options.isReadable = [](const QString&) { return true; };
    SysfsHidDeviceSource source(options);

    QtScheduler scheduler;
    QString error;
    std::unique_ptr<XRandrDisplayServices> displays = XRandrDisplayServices::open(&error, displayName.constData());
    std::unique_ptr<XTestEventSink> sink = displays ? XTestEventSink::open(scheduler, &error, displayName.constData()) : nullptr;
    if (!sink) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir config;
    UserDefaults defaults(config.path());
    NotificationCenter center;
    SettingsStore settings(defaults, center);
    settings.registerDefaults();
    VTTouchBridge bridge({source, *sink, scheduler, settings, *displays, center, 0.5, {}});
    VTError startError;
    if (!bridge.start(&startError)) {
        std::fprintf(stderr, "touch did not start: %s (%s)\n", qPrintable(startError.description),
                     qPrintable(bridge.decoderStatus()));
        return 1;
    }
    const char ready = 1;
    if (::write(STDOUT_FILENO, &ready, 1) != 1)
        return 1;
    return QCoreApplication::exec();
}
