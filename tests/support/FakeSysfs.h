#pragma once
#include "tests/support/TestFiles.h"
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A sysfs and /dev tree of HID devices in a temporary folder, as
// SysfsHidDeviceSource reads them.

// A mouse collection first, then a touch screen: primary usage is the mouse,
// but the device still offers the Digitizer Touch Screen usage.
inline const QByteArray kMouseThenTouch = QByteArray::fromHex(
    "05010902a10185010901a100050919012903150025019503750181029501750581030501093009311581257f750895028106c0c0"
    "050d0904a10185020922a102094215002501750195018102950781030951150025" "7f7508950181020501093009311500"
    "26ff0f751095028102c0050d0954150025087508950181" "02c0");

// Default members all initialised, so designated initialisers need only name what differs.
struct FakeDevice {
    QString hidraw{};         // "hidraw0"
    QString hidId = QStringLiteral("0003:000004E8:00002084");
    QString name = QStringLiteral("Samsung Touch Display");
    QString phys = QStringLiteral("usb-0000:00:14.0-6.3/input0");
    QString uniq{};
    QByteArray descriptor = kMouseThenTouch;
    // USB device above the interface; empty busnum means not USB.
    QString busnum = QStringLiteral("1");
    QString devpath = QStringLiteral("6.3");
    QString manufacturer = QStringLiteral("Samsung");
    QString product = QStringLiteral("Touch Display");
    QString serial = QStringLiteral("SN:01|A");
    QString interfaceName = QStringLiteral("1.0");
    QStringList eventNodes{}; // "event7"
};

class FakeSysfs {
public:
    FakeSysfs()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("sys/class/hidraw"));
        QDir(m_dir.path()).mkpath(QStringLiteral("dev/input"));
    }
    QString sysfs() const { return m_dir.path() + QStringLiteral("/sys"); }
    QString dev() const { return m_dir.path() + QStringLiteral("/dev"); }

    void add(const FakeDevice& d)
    {
        const QString usbName = d.busnum.isEmpty() ? QStringLiteral("i2c-ELAN0001") : d.busnum + QLatin1Char('-') + d.devpath;
        const QString usbDir = sysfs() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb") + d.busnum + QLatin1Char('/') + usbName;
        const QString hidDir = usbDir + QLatin1Char('/') + usbName + QLatin1Char(':') + d.interfaceName + QStringLiteral("/0003:04E8:2084.") + d.hidraw;
        QDir().mkpath(hidDir);
        const std::pair<const char*, QString> usbFiles[] = {
            {"busnum", d.busnum}, {"devpath", d.devpath}, {"manufacturer", d.manufacturer}, {"product", d.product}, {"serial", d.serial}};
        for (const auto& [file, value] : usbFiles) {
            if (!d.busnum.isEmpty() && !value.isEmpty())
                write(usbDir + QLatin1Char('/') + QLatin1String(file), value.toUtf8() + '\n');
        }
        write(hidDir + QStringLiteral("/uevent"), QStringLiteral("DRIVER=hid-multitouch\nHID_ID=%1\nHID_NAME=%2\nHID_PHYS=%3\nHID_UNIQ=%4\nMODALIAS=hid:b0003\n")
                                                     .arg(d.hidId, d.name, d.phys, d.uniq).toUtf8());
        write(hidDir + QStringLiteral("/report_descriptor"), d.descriptor);
        for (int i = 0; i < d.eventNodes.size(); ++i)
            QDir().mkpath(hidDir + QStringLiteral("/input/input%1/%2").arg(20 + i).arg(d.eventNodes[i]));
        const QString classDir = sysfs() + QStringLiteral("/class/hidraw/") + d.hidraw;
        QDir().mkpath(classDir);
        QFile::link(hidDir, classDir + QStringLiteral("/device"));
        write(dev() + QLatin1Char('/') + d.hidraw, {});
    }

    // Unplugged: the node and its class entry go.
    void remove(const QString& hidraw)
    {
        QDir(sysfs() + QStringLiteral("/class/hidraw/") + hidraw).removeRecursively();
        QFile::remove(dev() + QLatin1Char('/') + hidraw);
    }

private:
    QTemporaryDir m_dir;
    static void write(const QString& path, const QByteArray& bytes) { writeTestFile(path, bytes); }
};
