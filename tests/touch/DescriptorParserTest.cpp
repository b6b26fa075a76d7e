#include "touch/ReportDescriptorParser.h"
#include "tests/touch/TouchTestData.h"

#include <gtest/gtest.h>

#include <limits>

using touchtest::bytes;
using touchtest::flagsText;
using touchtest::slotText;
using touchtest::kSingleFingerDescriptor;

TEST(DescriptorParser, SingleFingerWorkedExample)
{
    const TouchLayout layout = parseReportDescriptor(kSingleFingerDescriptor.data(), kSingleFingerDescriptor.size());
    EXPECT_EQ(flagsText(layout), "valid finger count inRange ranges");
    EXPECT_EQ(layout.reportID, 1);
    EXPECT_EQ(layout.reportIDByteOffset, 0);
    ASSERT_EQ(layout.contactCount, 1);
    EXPECT_EQ(layout.contacts[0].slot, 0);
    EXPECT_EQ(slotText(layout.contacts[0]),
              "kind 1 tip 8 range 9 valid -1 invert -1 eraser -1 id 16:8 x 24:16 0..4095 y 40:16 0..4095 w -1:0 h -1:0");
    EXPECT_EQ(layout.contactCountBitOffset, 56);
    EXPECT_EQ(layout.contactCountBitLength, 8);
}

namespace {

TouchLayout parse(const std::vector<std::uint8_t>& descriptor)
{
    return parseReportDescriptor(descriptor.data(), descriptor.size());
}

TouchLayout parse(const touchtest::Descriptor& descriptor)
{
    return parseReportDescriptor(descriptor.data(), descriptor.size());
}

// Report 1 with one contact collection whose first Input item is `fields`.
touchtest::Descriptor withFlagItem(std::initializer_list<std::uint8_t> fields)
{
    touchtest::Descriptor d;
    d.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    d.raw({0x15, 0x00, 0x25, 0x01}).raw(fields);
    d.padding(5).field(0x0D, 0x51, 8).logicalMaximum16(4095).field(0x01, 0x30, 16).field(0x01, 0x31, 16);
    return d.end().end();
}

} // namespace

TEST(DescriptorParser, ItemWalk)
{
    // Nothing to walk.
    const TouchLayout empty = parseReportDescriptor(nullptr, 0);
    EXPECT_FALSE(empty.valid);
    EXPECT_EQ(empty.contactCountBitOffset, -1);
    EXPECT_EQ(empty.contactCount, 0);
    EXPECT_FALSE(parse(bytes("fe0210aabbfe0020")).valid);
    EXPECT_FALSE(parse(bytes("fe05")).valid);

    // A long item is skipped whole, whatever its data looks like.
    std::vector<std::uint8_t> withLongItem = {0xFE, 0x03, 0x42, 0x09, 0x22, 0xA1};
    withLongItem.insert(withLongItem.end(), kSingleFingerDescriptor.begin(), kSingleFingerDescriptor.end());
    const TouchLayout skipped = parse(withLongItem);
    ASSERT_TRUE(skipped.valid);
    EXPECT_EQ(skipped.contacts[0].xBitOffset, 24);
    EXPECT_EQ(skipped.contactCountBitOffset, 56);

    // A truncated last item still counts, its missing data read as 0.
    std::vector<std::uint8_t> truncated(kSingleFingerDescriptor.begin(), kSingleFingerDescriptor.end() - 2);
    ASSERT_EQ(truncated.back(), 0x81);
    const TouchLayout cut = parse(truncated);
    ASSERT_TRUE(cut.valid);
    EXPECT_EQ(cut.contactCountBitOffset, 56);

    // One-byte Report ID of 128 and more is unsigned.
    touchtest::Descriptor high;
    high.touchScreenApplication(0x80).contact().contactCount().end();
    const TouchLayout highLayout = parse(high);
    ASSERT_TRUE(highLayout.valid);
    EXPECT_EQ(highLayout.reportID, 0x80);

    // Signed logical limits: 0x15 0xFF is -1, 0x26 0xFF 0x7F is 32767, a
    // four-byte 0xFFFFFFFF is -1 too.
    touchtest::Descriptor limits;
    limits.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    limits.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8);
    limits.raw({0x15, 0xFF, 0x26, 0xFF, 0x7F}).field(0x01, 0x30, 16);
    limits.raw({0x17, 0xFF, 0xFF, 0xFF, 0xFF, 0x27, 0x00, 0x01, 0x00, 0x00}).field(0x01, 0x31, 16);
    limits.end().end();
    const TouchLayout limitLayout = parse(limits);
    ASSERT_TRUE(limitLayout.valid);
    EXPECT_EQ(limitLayout.contacts[0].xLogicalMinimum, -1);
    EXPECT_EQ(limitLayout.contacts[0].xLogicalMaximum, 32767);
    EXPECT_EQ(limitLayout.contacts[0].yLogicalMinimum, -1);
    EXPECT_EQ(limitLayout.contacts[0].yLogicalMaximum, 256);
}

TEST(DescriptorParser, UsageAssignment)
{
    // One usage for two fields: both are Tip Switch, the later one wins.
    const TouchLayout repeated = parse(withFlagItem({0x09, 0x42, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02, 0x95, 0x01}));
    ASSERT_TRUE(repeated.valid);
    EXPECT_EQ(repeated.contacts[0].tipSwitchBitOffset, 9);

    // A usage range first, then listed usages by field index beyond it:
    // Tip Switch from the range, Touch Valid (listed second), then nothing.
    const TouchLayout ranged = parse(withFlagItem(
        {0x09, 0x32, 0x09, 0x47, 0x19, 0x42, 0x29, 0x42, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02}));
    ASSERT_TRUE(ranged.valid);
    EXPECT_EQ(ranged.contacts[0].tipSwitchBitOffset, 8);
    EXPECT_EQ(ranged.contacts[0].touchValidBitOffset, 9);
    EXPECT_EQ(ranged.contacts[0].inRangeBitOffset, -1);
    // The five padding bits start after the three fields.
    EXPECT_EQ(ranged.contacts[0].contactIdBitOffset, 16);

    // More fields than usages: the extra fields have none.
    const TouchLayout listed = parse(withFlagItem({0x09, 0x42, 0x09, 0x32, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02}));
    ASSERT_TRUE(listed.valid);
    EXPECT_EQ(listed.contacts[0].tipSwitchBitOffset, 8);
    EXPECT_EQ(listed.contacts[0].inRangeBitOffset, 9);

    // X and Y through a usage range on the Generic Desktop page.
    touchtest::Descriptor range;
    range.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    range.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8);
    range.usagePage(0x01).raw({0x19, 0x30, 0x29, 0x31}).logicalMaximum16(4095).reportSize(16).reportCount(2).input();
    range.end().end();
    const TouchLayout rangeLayout = parse(range);
    ASSERT_TRUE(rangeLayout.valid);
    EXPECT_EQ(rangeLayout.contacts[0].xBitOffset, 24);
    EXPECT_EQ(rangeLayout.contacts[0].yBitOffset, 40);

    // Minimum and maximum under different usage pages are no range.
    touchtest::Descriptor split;
    split.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    split.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8);
    split.usagePage(0x01).raw({0x19, 0x30}).usagePage(0x0D).raw({0x29, 0x31});
    split.reportSize(16).reportCount(2).input().end().end();
    const TouchLayout splitLayout = parse(split);
    EXPECT_FALSE(splitLayout.valid);
    EXPECT_TRUE(splitLayout.hasFingerCollection);

    // Only 64 usages are kept: the 64th, not the last one given, opens the collection.
    touchtest::Descriptor many;
    many.usagePage(0x0D).reportID(1);
    for (int i = 0; i < 63; ++i)
        many.usage(0x30);
    many.usage(0x22);
    for (int i = 0; i < 6; ++i)
        many.usage(0x30);
    many.collection();
    many.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8).field(0x01, 0x30, 16).field(0x01, 0x31, 16).end();
    EXPECT_TRUE(parse(many).valid);
}

TEST(DescriptorParser, Collections)
{
    // Only the first report with a contact collection is followed.
    touchtest::Descriptor twoReports;
    twoReports.touchScreenApplication(1).contact().end().touchScreenApplication(2).contact().contact().end();
    const TouchLayout first = parse(twoReports);
    ASSERT_TRUE(first.valid);
    EXPECT_EQ(first.reportID, 1);
    EXPECT_EQ(first.contactCount, 1);

    // Pen and Stylus collections build pen slots.
    touchtest::Descriptor pens;
    pens.touchScreenApplication(3).contact(0x20).contact(0x02).end();
    const TouchLayout pen = parse(pens);
    ASSERT_EQ(pen.contactCount, 2);
    EXPECT_EQ(pen.contacts[0].preferredKind, ContactKindPen);
    EXPECT_EQ(pen.contacts[1].preferredKind, ContactKindPen);
    EXPECT_EQ(pen.contacts[1].tipSwitchBitOffset, 56);
    EXPECT_TRUE(pen.hasPenCollection);
    EXPECT_FALSE(pen.hasFingerCollection);

    // Contact Count before the first contact collection, inside one, or in
    // another report is not taken; a Feature report sharing the touch ID
    // moves nothing.
    touchtest::Descriptor counts;
    counts.touchScreenApplication(1).contactCount();
    counts.usagePage(0x0D).usage(0x22).collection().raw({0x15, 0x00, 0x25, 0x01}).field(0x0D, 0x42, 1).padding(7);
    counts.usage(0x54).reportSize(8).reportCount(1).input();
    counts.field(0x0D, 0x51, 8).field(0x01, 0x30, 16).field(0x01, 0x31, 16).end();
    counts.usagePage(0x0D).usage(0x55).reportSize(8).reportCount(4).feature();
    counts.contact().reportID(2).contactCount().end();
    const TouchLayout counted = parse(counts);
    ASSERT_EQ(counted.contactCount, 2);
    EXPECT_FALSE(counted.hasContactCount);
    EXPECT_EQ(counted.contactCountBitOffset, -1);
    EXPECT_EQ(counted.contacts[0].tipSwitchBitOffset, 16);
    EXPECT_EQ(counted.contacts[0].xBitOffset, 40);
    EXPECT_EQ(counted.contacts[1].tipSwitchBitOffset, 72);

    // A nested collection ends the contact collection; its End builds the slot.
    touchtest::Descriptor nested;
    nested.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    nested.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8).collection(0x00);
    nested.field(0x01, 0x30, 16).field(0x01, 0x31, 16).end().field(0x0D, 0x48, 8).end().contactCount().end();
    const TouchLayout nestedLayout = parse(nested);
    ASSERT_TRUE(nestedLayout.valid);
    EXPECT_EQ(nestedLayout.contacts[0].yBitOffset, 40);
    EXPECT_EQ(nestedLayout.contacts[0].widthBitOffset, -1);
    EXPECT_EQ(nestedLayout.contactCountBitOffset, 64) << "Width after the nested End is outside any collection";

    // A Finger collection before any Report ID, or lacking a Contact Identifier, builds nothing.
    touchtest::Descriptor noID;
    noID.usagePage(0x0D).usage(0x04).collection(0x01).contact().end();
    const TouchLayout noIDLayout = parse(noID);
    EXPECT_FALSE(noIDLayout.valid);
    EXPECT_FALSE(noIDLayout.hasFingerCollection);
    touchtest::Descriptor noContactID;
    noContactID.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    noContactID.field(0x0D, 0x42, 1).padding(7).field(0x01, 0x30, 16).field(0x01, 0x31, 16).end().end();
    const TouchLayout noContactIDLayout = parse(noContactID);
    EXPECT_FALSE(noContactIDLayout.valid);
    EXPECT_TRUE(noContactIDLayout.hasFingerCollection);
}

TEST(DescriptorParser, SlotsAndContactCount)
{
    touchtest::Descriptor five;
    five.touchScreenApplication(1);
    for (int i = 0; i < 5; ++i)
        five.contact(0x22, true, true, true);
    five.contactCount().end();
    const TouchLayout fiveLayout = parse(five);
    ASSERT_TRUE(fiveLayout.valid);
    EXPECT_EQ(fiveLayout.contactCount, 5);
    EXPECT_EQ(fiveLayout.contactCountBitOffset, 8 + 5 * 64);
    for (int i = 0; i < 5; ++i) {
        const TouchSlotLayout& slot = fiveLayout.contacts[i];
        EXPECT_EQ(slot.slot, i);
        EXPECT_EQ(slot.tipSwitchBitOffset, 8 + 64 * i);
        EXPECT_EQ(slot.touchValidBitOffset, 10 + 64 * i);
        EXPECT_EQ(slot.widthBitOffset, 56 + 64 * i);
        EXPECT_EQ(slot.heightBitLength, 8);
    }
    EXPECT_TRUE(fiveLayout.hasTouchValid && fiveLayout.hasWidth && fiveLayout.hasHeight);

    // Ten collections: eight slots, and the Contact Count after them is still found.
    touchtest::Descriptor ten;
    ten.touchScreenApplication(1);
    for (int i = 0; i < 10; ++i)
        ten.contact();
    ten.contactCount().end();
    const TouchLayout tenLayout = parse(ten);
    EXPECT_EQ(tenLayout.contactCount, 8);
    EXPECT_EQ(tenLayout.contacts[7].tipSwitchBitOffset, 8 + 7 * 48);
    EXPECT_EQ(tenLayout.contactCountBitOffset, 8 + 10 * 48);

    // An empty logical range is widened to one unit.
    touchtest::Descriptor flat;
    flat.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    flat.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8).raw({0x15, 0x00, 0x25, 0x00});
    flat.field(0x01, 0x30, 16).raw({0x15, 0x0A, 0x25, 0x05}).field(0x01, 0x31, 16).end().end();
    const TouchLayout flatLayout = parse(flat);
    ASSERT_TRUE(flatLayout.valid);
    EXPECT_EQ(flatLayout.contacts[0].xLogicalMaximum, 1);
    EXPECT_EQ(flatLayout.contacts[0].yLogicalMinimum, 10);
    EXPECT_EQ(flatLayout.contacts[0].yLogicalMaximum, 11);
    // A minimum of INT32_MAX cannot widen: the maximum stays, it does not wrap.
    touchtest::Descriptor top;
    top.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection();
    top.field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8).raw({0x17, 0xFF, 0xFF, 0xFF, 0x7F, 0x27, 0xFF, 0xFF, 0xFF, 0x7F});
    top.field(0x01, 0x30, 16).field(0x01, 0x31, 16).end().end();
    EXPECT_EQ(parse(top).contacts[0].xLogicalMaximum, std::numeric_limits<std::int32_t>::max());

    // Absurd sizes and counts saturate the positions instead of wrapping or looping.
    touchtest::Descriptor huge;
    huge.touchScreenApplication(1).raw({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x03});
    huge.raw({0x19, 0x00, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF}).input();
    huge.contact().contactCount().end();
    const TouchLayout hugeLayout = parse(huge);
    ASSERT_TRUE(hugeLayout.valid);
    EXPECT_GT(hugeLayout.contacts[0].tipSwitchBitOffset, 0);
    EXPECT_EQ(hugeLayout.contacts[0].yBitOffset, std::numeric_limits<std::int32_t>::max());
}
