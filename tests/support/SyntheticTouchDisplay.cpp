#include "tests/support/SyntheticTouchDisplay.h"

#include "tests/touch/TouchTestData.h"

#include <algorithm>

namespace {

constexpr int kRawPerPixel = 10;

// The logical maximum, in two bytes, of the axis that follows.
touchtest::Descriptor& maximum(touchtest::Descriptor& d, int value)
{
    return d.raw({0x26, std::uint8_t(value & 0xFF), std::uint8_t(value >> 8)});
}

} // namespace

SyntheticTouchDisplay::SyntheticTouchDisplay(int slotCount) : m_slotCount(std::clamp(slotCount, 1, kMaxSlots)) {}

QByteArray SyntheticTouchDisplay::descriptor() const
{
    touchtest::Descriptor d;
    d.application(1);
    for (int i = 0; i < m_slotCount; ++i) {
        d.open().raw({0x15, 0x00, 0x25, 0x7F}).tipAndID();
        maximum(d, kWidth * kRawPerPixel).field(0x01, 0x30, 16);
        maximum(d, kHeight * kRawPerPixel).field(0x01, 0x31, 16).end();
    }
    d.raw({0x25, 0x7F}).contactCount().end();
    return QByteArray(reinterpret_cast<const char*>(d.bytes.data()), qsizetype(d.bytes.size()));
}

QList<QByteArray> SyntheticTouchDisplay::reportsForFrame(const QList<QPoint>& fingers) const
{
    QList<QByteArray> reports;
    qsizetype next = 0;
    do {
        QByteArray report(reportLength(), '\0');
        report[0] = 1;
        for (int s = 0; s < m_slotCount && next < fingers.size(); ++s, ++next) {
            char* slot = report.data() + 1 + s * kSlotBytes;
            const QPoint p = fingers[next];
            // The middle of the pixel, so that mapping back lands inside it.
            const int x = p.x() * kRawPerPixel + kRawPerPixel / 2;
            const int y = p.y() * kRawPerPixel + kRawPerPixel / 2;
            slot[0] = 1;
            slot[1] = char(next);
            slot[2] = char(x & 0xFF);
            slot[3] = char(x >> 8);
            slot[4] = char(y & 0xFF);
            slot[5] = char(y >> 8);
        }
        report[contactCountOffset()] = char(reports.isEmpty() ? fingers.size() : 0);
        reports.append(report);
    } while (next < fingers.size());
    return reports;
}

bool SyntheticTouchDisplay::slotPixel(const unsigned char* report, int slot, QPoint* pixel)
{
    const unsigned char* s = report + 1 + slot * kSlotBytes;
    if (!(s[0] & 1))
        return false;
    *pixel = QPoint((s[2] | s[3] << 8) / kRawPerPixel, (s[4] | s[5] << 8) / kRawPerPixel);
    return true;
}
