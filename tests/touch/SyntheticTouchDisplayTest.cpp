#include "tests/support/SyntheticTouchDisplay.h"
#include "touch/AxisMapping.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <gtest/gtest.h>

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
        // Decoded as the bridge would: the pixels, and the last report completes the frame.
        TouchReportDecoder decoder(layout);
        QList<QPoint> seen;
        bool complete = false;
        const QList<QByteArray> reports = display.reportsForFrame(two);
        EXPECT_EQ(reports.size(), slotCount == 1 ? 2 : 1);
        for (const QByteArray& report : reports) {
            EXPECT_EQ(report.size(), display.reportLength());
            const TouchContactList list =
                decoder.contactsFromReport(reinterpret_cast<const std::uint8_t*>(report.constData()), std::size_t(report.size()));
            for (int i = 0; i < list.count; ++i) {
                const QPointF p = mapContact(list.contacts[i], QRectF(0, 0, 1920, 1080));
                seen << QPoint(int(p.x()), int(p.y()));
            }
            complete = list.complete;
        }
        EXPECT_EQ(seen, two) << slotCount;
        EXPECT_TRUE(complete) << slotCount;
        const QByteArray lifted = display.reportsForFrame({}).first();
        EXPECT_EQ(decoder.contactsFromReport(reinterpret_cast<const std::uint8_t*>(lifted.constData()), std::size_t(lifted.size())).count, 0);
        // What the minimal poster reads without a descriptor.
        QPoint pixel;
        ASSERT_TRUE(SyntheticTouchDisplay::slotPixel(reinterpret_cast<const unsigned char*>(reports[0].constData()), 0, &pixel));
        EXPECT_EQ(pixel, QPoint(0, 0));
        EXPECT_EQ(int(reports[0][display.contactCountOffset()]), 2);
    }
}
