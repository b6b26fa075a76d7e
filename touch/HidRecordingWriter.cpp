#include "touch/HidRecordingWriter.h"

#include "touch/DeviceDiscovery.h"
#include "touch/HidDeviceSource.h"

#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

QByteArray hexBytes(const std::uint8_t* bytes, int length)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), length).toHex(' ');
}

// Line breaks in a device name would start a line of another kind.
QString oneLine(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// The "I:" bus number of a transport name.
std::uint32_t busNumber(const HidDeviceInfo& device)
{
    static const QMap<QString, std::uint32_t> buses{{QStringLiteral("USB"), 0x03}, {QStringLiteral("Bluetooth"), 0x05},
                                                    {QStringLiteral("Virtual"), 0x06}, {QStringLiteral("I2C"), 0x18},
                                                    {QStringLiteral("SPI"), 0x1C}};
    return buses.value(stringProperty(device, HidProperty::Transport).value_or(QString()), 0);
}

} // namespace

HidRecordingHeader hidRecordingHeaderFor(const HidDeviceInfo& device)
{
    HidRecordingHeader header;
    header.name = QStringLiteral("%1 %2").arg(stringProperty(device, HidProperty::Manufacturer).value_or(QString()),
                                              stringProperty(device, HidProperty::Product).value_or(QString())).trimmed();
    header.physicalPath = stringProperty(device, HidProperty::PhysicalPath).value_or(QString());
    header.bus = busNumber(device);
    header.vendorID = std::uint32_t(std::max<std::int64_t>(0, numberProperty(device, HidProperty::VendorID)));
    header.productID = std::uint32_t(std::max<std::int64_t>(0, numberProperty(device, HidProperty::ProductID)));
    header.descriptor = reportDescriptorData(device);
    return header;
}

QByteArray hidRecordingHeaderText(const HidRecordingHeader& header)
{
    QByteArray text;
    text += "D: 0\n";
    text += "R: " + QByteArray::number(header.descriptor.size());
    if (!header.descriptor.isEmpty())
        text += ' ' + header.descriptor.toHex(' ');
    text += '\n';
    text += "N: " + oneLine(header.name).toUtf8() + '\n';
    text += "P: " + oneLine(header.physicalPath).toUtf8() + '\n';
    text += QStringLiteral("I: %1 %2 %3\n")
                .arg(header.bus, 0, 16)
                .arg(header.vendorID, 4, 16, QLatin1Char('0'))
                .arg(header.productID, 4, 16, QLatin1Char('0'))
                .toLatin1();
    return text;
}

QByteArray hidRecordingEventLine(double seconds, const std::uint8_t* report, int length)
{
    const qint64 micros = std::llround(std::max(0.0, seconds) * 1e6);
    QByteArray line = "E: " + QByteArray::number(micros / 1000000) + '.'
        + QByteArray::number(micros % 1000000).rightJustified(6, '0') + ' ' + QByteArray::number(length);
    if (length > 0)
        line += ' ' + hexBytes(report, length);
    line += '\n';
    return line;
}
