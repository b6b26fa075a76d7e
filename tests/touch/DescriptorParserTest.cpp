#include "tests/support/AllocationCounter.h"
#include "tests/touch/TouchTestData.h"

#include <gtest/gtest.h>

#include <limits>

using touchtest::bytes;
using touchtest::Descriptor;
using touchtest::layoutText;
using touchtest::parse;
using touchtest::slotText;

namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Report 1 with one Finger collection whose flag byte is the given items
// (three bits of them), then an 8-bit Contact Identifier, X and Y.
Descriptor withFlagItem(std::initializer_list<std::uint8_t> items)
{
    Descriptor d;
    d.application(1).open().raw({0x15, 0x00, 0x25, 0x01}).raw(items).padding(5).field(0x0D, 0x51, 8).xy();
    return d.end().end();
}

} // namespace

TEST(DescriptorParser, ItemWalk)
{
    // The worked example is stated field by field by its summary's test.
    const TouchLayout worked = touchtest::singleFingerLayout();

    // Nothing to walk, only long items, a long item cut short: invalid, no error.
    EXPECT_EQ(layoutText(parseReportDescriptor(nullptr, 0)), "slots 0 count -1:0 report 0");
    EXPECT_EQ(layoutText(parse(bytes("fe0210aabb fe0020"))), "slots 0 count -1:0 report 0");
    EXPECT_FALSE(parse(bytes("fe05")).valid);

    // A long item is skipped whole, whatever its data looks like; a truncated
    // last item still counts, its missing data read as 0 (Input 0x81 without data).
    EXPECT_EQ(layoutText(parse(bytes((std::string("fe03 4209 22a1") + touchtest::kSingleFingerHex).c_str()))),
              layoutText(worked));
    std::vector<std::uint8_t> truncated = bytes(touchtest::kSingleFingerHex);
    truncated.resize(truncated.size() - 2);
    EXPECT_EQ(layoutText(parse(truncated)), layoutText(worked));

    // A one-byte Report ID of 128 and more is unsigned.
    EXPECT_EQ(Descriptor().application(0x80).contact().contactCount().end().layout().reportID, 0x80);

    // Signed limits: 0x15 0xFF is -1, 0x26 0xFF 0x7F is 32767, four bytes of
    // 0xFF are -1 too; a minimum of INT32_MAX cannot widen, so its maximum stays.
    Descriptor limits;
    limits.application(1).open().tipAndID().raw({0x15, 0xFF, 0x26, 0xFF, 0x7F}).field(0x01, 0x30, 16);
    limits.raw({0x17, 0xFF, 0xFF, 0xFF, 0xFF, 0x27, 0x00, 0x01, 0x00, 0x00}).field(0x01, 0x31, 16).end();
    limits.open().tipAndID().raw({0x17, 0xFF, 0xFF, 0xFF, 0x7F, 0x27, 0xFF, 0xFF, 0xFF, 0x7F}).xy().end().end();
    const TouchLayout limited = limits.layout();
    EXPECT_EQ(slotText(limited.contacts[0]),
              "kind 1 tip 8 range -1 valid -1 invert -1 eraser -1 id 16:8 x 24:16 -1..32767 y 40:16 -1..256 w -1:0 h -1:0");
    EXPECT_TRUE(limited.contacts[1].xLogicalMinimum == kInt32Max && limited.contacts[1].xLogicalMaximum == kInt32Max);
}

TEST(DescriptorParser, UsageAssignment)
{
    // One usage for two fields: both are Tip Switch, the later one wins.
    EXPECT_EQ(withFlagItem({0x09, 0x42, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02, 0x95, 0x01}).layout().contacts[0].tipSwitchBitOffset, 9);

    // A range (Tip Switch) first, then listed usages by field index beyond it:
    // Touch Valid is listed second, the third field has no usage.
    const TouchLayout ranged = withFlagItem({0x09, 0x32, 0x09, 0x47, 0x19, 0x42, 0x29, 0x42, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02}).layout();
    EXPECT_EQ(slotText(ranged.contacts[0]),
              "kind 1 tip 8 range -1 valid 9 invert -1 eraser -1 id 16:8 x 24:16 0..1 y 40:16 0..1 w -1:0 h -1:0");

    // More fields than listed usages: the extra fields have none.
    const TouchLayout listed = withFlagItem({0x09, 0x42, 0x09, 0x32, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02}).layout();
    EXPECT_TRUE(listed.contacts[0].inRangeBitOffset == 9 && listed.contacts[0].touchValidBitOffset == -1);

    // X and Y through a Generic Desktop usage range; a range whose ends lie on
    // different pages is no range.
    Descriptor range;
    range.application(1).open().tipAndID().usagePage(0x01).raw({0x19, 0x30, 0x29, 0x31}).reportSize(16).reportCount(2);
    EXPECT_EQ(slotText(range.input().end().end().layout().contacts[0]),
              "kind 1 tip 8 range -1 valid -1 invert -1 eraser -1 id 16:8 x 24:16 0..1 y 40:16 0..1 w -1:0 h -1:0");
    Descriptor split;
    split.application(1).open().tipAndID().usagePage(0x01).raw({0x19, 0x30}).usagePage(0x0D).raw({0x29, 0x31});
    EXPECT_EQ(layoutText(split.reportSize(16).reportCount(2).input().end().end().layout()), "finger slots 0 count -1:0 report 0");

    // Only 64 usages are kept: the 64th, not the last one given, opens the collection.
    Descriptor many;
    many.usagePage(0x0D).reportID(1);
    for (int i = 0; i < 70; ++i)
        many.usage(i == 63 ? 0x22 : 0x30);
    EXPECT_TRUE(many.collection().tipAndID().xy().end().layout().valid);
}

TEST(DescriptorParser, Collections)
{
    // Stylus and Pen collections build pen slots.
    const TouchLayout pens = Descriptor().application(3).contact(0x20).contact(0x02).end().layout();
    EXPECT_EQ(layoutText(pens), "valid pen inRange ranges slots 2 count -1:0 report 3");
    EXPECT_TRUE(pens.contacts[1].preferredKind == ContactKindPen && pens.contacts[1].tipSwitchBitOffset == 56);

    // The touch report's Contact Count is found before its contacts too, but
    // not inside a contact or in another report; a Feature report sharing the
    // touch ID moves no input position.
    Descriptor counts;
    counts.application(1).contactCount().open().field(0x0D, 0x42, 1).padding(7).contactCount();
    counts.field(0x0D, 0x51, 8).xy().end();
    counts.usagePage(0x0D).usage(0x55).reportSize(8).reportCount(4).raw({0xB1, 0x02});
    counts.contact().reportID(2).contactCount().end();
    const TouchLayout counted = counts.layout();
    EXPECT_EQ(layoutText(counted), "valid finger count inRange ranges slots 2 count 8:8 report 1");
    EXPECT_EQ(slotText(counted.contacts[0]),
              "kind 1 tip 16 range -1 valid -1 invert -1 eraser -1 id 32:8 x 40:16 0..1 y 56:16 0..1 w -1:0 h -1:0");
    EXPECT_EQ(counted.contacts[1].tipSwitchBitOffset, 72);

    // A nested collection ends the contact collection early: its End builds
    // the slot, and what follows is outside (so the Width moves the count).
    EXPECT_EQ(layoutText(Descriptor().application(1).open().tipAndID().collection(0x00).xy().end().field(0x0D, 0x48, 8).end()
                             .contactCount().end().layout()), "valid finger count ranges slots 1 count 64:8 report 1");

    // A finger lacking a Contact Identifier builds nothing but is counted.
    EXPECT_EQ(layoutText(Descriptor().application(1).open().field(0x0D, 0x42, 1).padding(7).xy().end().end().layout()),
              "finger slots 0 count -1:0 report 0");
}

TEST(DescriptorParser, EveryContactCollectionOfTheTouchReport)
{
    // One Finger collection, then collections without a usage and with 0x22
    // on the Generic Desktop page: all are finger slots, in order.
    Descriptor mixed;
    mixed.application(1).contact().usagePage(0x0D).collection().tipAndID().raw({0x26, 0xFF, 0x0F}).xy().end();
    mixed.usagePage(0x01).usage(0x22).collection().tipAndID().xy().end().contactCount().end();
    const TouchLayout mixedLayout = mixed.layout();
    EXPECT_EQ(layoutText(mixedLayout), "valid finger count inRange ranges slots 3 count 152:8 report 1");
    EXPECT_EQ(slotText(mixedLayout.contacts[1]),
              "kind 1 tip 56 range -1 valid -1 invert -1 eraser -1 id 64:8 x 72:16 0..4095 y 88:16 0..4095 w -1:0 h -1:0");
    EXPECT_EQ(mixedLayout.contacts[2].tipSwitchBitOffset, 104);

    // The touch report is the one with the most finger contacts, wherever it
    // lies; a pen report is chosen only when no report has fingers. A mouse
    // collection (X and Y, no Tip Switch) is no contact.
    Descriptor reports;
    reports.usagePage(0x01).usage(0x02).collection(0x01).reportID(4).usage(0x01).collection(0x00).xy().end().end();
    reports.application(3).contact(0x20).end().application(2).contact().end().application(5).contacts(3).end();
    const TouchLayout chosen = reports.layout();
    EXPECT_EQ(layoutText(chosen), "valid finger inRange ranges slots 3 count -1:0 report 5");
    EXPECT_EQ(Descriptor().application(7).contact(0x20).end().application(8).contact(0x02).contact(0x02).end().layout().reportID, 8);

    // A pen without a Contact Identifier is one contact (its identifier reads 0).
    Descriptor pen;
    pen.application(2).open(0x20).raw({0x15, 0x00, 0x25, 0x01}).field(0x0D, 0x42, 1).field(0x0D, 0x32, 1).padding(6);
    const TouchLayout penLayout = pen.raw({0x26, 0xFF, 0x0F}).xy().end().end().layout();
    EXPECT_EQ(slotText(penLayout.contacts[0]),
              "kind 2 tip 8 range 9 valid -1 invert -1 eraser -1 id -1:0 x 16:16 0..4095 y 32:16 0..4095 w -1:0 h -1:0");
}

TEST(DescriptorParser, ReportIDsAndGlobalStack)
{
    // Without any Report ID the reports carry no ID byte: positions start at bit 0.
    const TouchLayout unnumbered = Descriptor().usagePage(0x0D).usage(0x04).collection(0x01).contacts(2).contactCount().end().layout();
    EXPECT_EQ(layoutText(unnumbered), "valid finger count inRange ranges slots 2 count 96:8 report 0");
    EXPECT_EQ(unnumbered.reportIDByteOffset, -1);
    EXPECT_EQ(unnumbered.contacts[0].tipSwitchBitOffset, 0);

    // A Report ID above 255 names no report a device can send: refused, not
    // cut to its low byte (0x0101 would be report 1).
    Descriptor wide;
    wide.usagePage(0x0D).usage(0x04).collection(0x01).raw({0x86, 0x01, 0x01}).contacts(1).end();
    EXPECT_FALSE(wide.layout().valid);
    EXPECT_EQ(wide.application(2).contact().end().layout().reportID, 2);

    // Push keeps the global state (here Report ID 1 and 16-bit sizes) for
    // the Pop after a vendor report; a Pop without a Push changes nothing.
    Descriptor stacked;
    stacked.application(1).raw({0xA4}).reportID(9).reportSize(8).reportCount(3).raw({0x81, 0x02, 0xB4, 0xB4});
    stacked.contact().raw({0xA4}).reportID(9).raw({0xB4}).contactCount().end();
    EXPECT_EQ(layoutText(stacked.layout()), "valid finger count inRange ranges slots 1 count 56:8 report 1");
}

TEST(DescriptorParser, SlotsAndPositions)
{
    const TouchLayout fiveLayout = Descriptor().application(1).contacts(5, 0x22, true).contactCount().end().layout();
    EXPECT_EQ(layoutText(fiveLayout), "valid finger count touchValid inRange width height ranges slots 5 count 328:8 report 1");
    EXPECT_EQ(slotText(fiveLayout.contacts[4]),
              "kind 1 tip 264 range 265 valid 266 invert -1 eraser -1 id 272:8 x 280:16 0..4095 y 296:16 0..4095 w 312:8 h 320:8");
    EXPECT_EQ(fiveLayout.contacts[4].slot, 4);

    // Ten collections: eight slots of ten (a frame of ten contacts fits one
    // report), and the Contact Count after them is still found.
    Descriptor ten;
    const TouchLayout tenLayout = ten.application(1).contacts(10).contactCount().end().layout();
    EXPECT_EQ(layoutText(tenLayout), "valid finger count inRange ranges slots 8 of 10 count 488:8 report 1");
    EXPECT_EQ(tenLayout.contacts[7].tipSwitchBitOffset, 8 + 7 * 48);

    // Empty logical ranges widen to one unit (10..5 becomes 10..11).
    Descriptor flat;
    flat.application(1).open().tipAndID().raw({0x15, 0x00, 0x25, 0x00}).field(0x01, 0x30, 16);
    flat.raw({0x15, 0x0A, 0x25, 0x05}).field(0x01, 0x31, 16).end().end();
    EXPECT_EQ(slotText(flat.layout().contacts[0]),
              "kind 1 tip 8 range -1 valid -1 invert -1 eraser -1 id 16:8 x 24:16 0..1 y 40:16 10..11 w -1:0 h -1:0");

    // Absurd sizes and counts saturate the positions instead of wrapping or looping.
    Descriptor huge;
    huge.application(1).raw({0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x03});
    huge.raw({0x19, 0x00, 0x2B, 0xFF, 0xFF, 0xFF, 0xFF}).input().contact().contactCount().end();
    const TouchLayout hugeLayout = huge.layout();
    ASSERT_TRUE(hugeLayout.valid);
    EXPECT_EQ(hugeLayout.contacts[0].yBitOffset, kInt32Max);

    // The walk allocates nothing.
    velotap::test::AllocationScope scope;
    EXPECT_TRUE(tenLayout.valid && parse(ten.bytes).valid);
    EXPECT_EQ(scope.count(), 0u);
}
