#include "touch/HidRecordingWriter.h"

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

} // namespace

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
