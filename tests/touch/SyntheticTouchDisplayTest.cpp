#include "tests/support/SyntheticTouchDisplay.h"
#include "touch/AxisMapping.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <gtest/gtest.h>

namespace {

// Decodes a frame's reports as the bridge would; the pixels of the
// contacts, and whether the last report completed the frame.
QString decodedFrame(const SyntheticTouchDisplay& display, const QList<QPoint>& fingers)
{
    const QByteArray descriptor = display.descriptor();
    TouchReportDecoder decoder(
        parseReportDescriptor(reinterpret_cast<const std::uint8_t*>(descriptor.constData()), std::size_t(descriptor.size())));
    QStringList seen;
    bool complete = false;
    for (const QByteArray& report : display.reportsForFrame(fingers)) {
        EXPECT_EQ(report.size(), display.reportLength());
        const TouchContactList list =
            decoder.contactsFromReport(reinterpret_cast<const std::uint8_t*>(report.constData()), std::size_t(report.size()));
        for (int i = 0; i < list.count; ++i) {
            const QPointF p = mapContact(list.contacts[i], QRectF(0, 0, 1920, 1080));
            seen << QStringLiteral("%1,%2").arg(int(p.x())).arg(int(p.y()));
        }
        complete = list.complete;
    }
    return seen.join(QLatin1Char(' ')) + (complete ? "" : " (incomplete)");
}

} // namespace

// The benchmark's made-up display must decode to exactly the pixels it
// meant, or it would measure events nobody asked for.
TEST(SyntheticTouchDisplay, FramesDecodeToTheirPixelsWhateverTheSlotCount)
{
    const QList<QPoint> two = {{0, 0}, {1919, 1079}};
    for (int slotCount : {1, 2, 10}) {
        const SyntheticTouchDisplay display(slotCount);
        const QByteArray descriptor = display.descriptor();
        const TouchLayout layout =
            parseReportDescriptor(reinterpret_cast<const std::uint8_t*>(descriptor.constData()), std::size_t(descriptor.size()));
        ASSERT_TRUE(layout.valid) << slotCount;
        EXPECT_EQ(layout.contactCount, std::min(slotCount, kMaxTouchSlots));
        EXPECT_EQ(decodedFrame(display, {{800, 540}}), "800,540") << slotCount;
        EXPECT_EQ(decodedFrame(display, two), "0,0 1919,1079") << slotCount;
        EXPECT_EQ(decodedFrame(display, {}), "") << slotCount;
        // What the minimal poster reads without a descriptor.
        const QByteArray report = display.reportsForFrame(two).first();
        QPoint pixel;
        ASSERT_TRUE(SyntheticTouchDisplay::slotPixel(reinterpret_cast<const unsigned char*>(report.constData()), 0, &pixel));
        EXPECT_EQ(pixel, QPoint(0, 0));
        EXPECT_EQ(int(report[display.contactCountOffset()]), 2);
    }
    // One slot: a two-finger frame is two reports, the second one completes it.
    EXPECT_EQ(SyntheticTouchDisplay(1).reportsForFrame(two).size(), 2);
}
