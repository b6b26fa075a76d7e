#include "touch/ReportDescriptorParser.h"
#include "tests/touch/TouchTestData.h"

#include <gtest/gtest.h>

using touchtest::bytes;
using touchtest::kSingleFingerDescriptor;

TEST(DescriptorParser, SingleFingerWorkedExample)
{
    const TouchLayout layout = parseReportDescriptor(kSingleFingerDescriptor.data(), kSingleFingerDescriptor.size());
    ASSERT_TRUE(layout.valid);
    EXPECT_EQ(layout.reportID, 1);
    EXPECT_EQ(layout.reportIDByteOffset, 0);
    EXPECT_EQ(layout.contactCount, 1);
    const TouchSlotLayout& slot = layout.contacts[0];
    EXPECT_EQ(slot.slot, 0);
    EXPECT_EQ(slot.preferredKind, ContactKindFinger);
    EXPECT_EQ(slot.tipSwitchBitOffset, 8);
    EXPECT_EQ(slot.inRangeBitOffset, 9);
    EXPECT_EQ(slot.touchValidBitOffset, -1);
    EXPECT_EQ(slot.contactIdBitOffset, 16);
    EXPECT_EQ(slot.contactIdBitLength, 8);
    EXPECT_EQ(slot.xBitOffset, 24);
    EXPECT_EQ(slot.xBitLength, 16);
    EXPECT_EQ(slot.yBitOffset, 40);
    EXPECT_EQ(slot.yBitLength, 16);
    EXPECT_EQ(slot.xLogicalMinimum, 0);
    EXPECT_EQ(slot.xLogicalMaximum, 4095);
    EXPECT_EQ(slot.yLogicalMaximum, 4095);
    EXPECT_EQ(slot.widthBitOffset, -1);
    EXPECT_EQ(slot.heightBitLength, 0);
    EXPECT_EQ(layout.contactCountBitOffset, 56);
    EXPECT_EQ(layout.contactCountBitLength, 8);
    EXPECT_TRUE(layout.hasFingerCollection);
    EXPECT_TRUE(layout.hasInRange);
    EXPECT_TRUE(layout.hasContactCount);
    EXPECT_TRUE(layout.hasLogicalRanges);
    EXPECT_FALSE(layout.hasPenCollection);
    EXPECT_FALSE(layout.hasTouchValid);
    EXPECT_FALSE(layout.hasInvert);
    EXPECT_FALSE(layout.hasEraser);
    EXPECT_FALSE(layout.hasWidth);
    EXPECT_FALSE(layout.hasHeight);
}
