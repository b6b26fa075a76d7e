#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"
#include "tests/support/AllocationCounter.h"
#include "tests/touch/TouchTestData.h"

#include <gtest/gtest.h>

#include <limits>

using touchtest::bytes;
using touchtest::putBits;

namespace {

TouchLayout workedExampleLayout()
{
    return parseReportDescriptor(touchtest::kSingleFingerDescriptor.data(), touchtest::kSingleFingerDescriptor.size());
}

// Report 1 with `slotCount` 64-bit contact collections (Tip Switch, In
// Range, Touch Valid, Contact Identifier, X, Y, Width, Height) and a Contact
// Count after them.
TouchLayout sizedLayout(int slotCount, std::uint8_t kind = 0x22)
{
    touchtest::Descriptor d;
    d.touchScreenApplication(1);
    for (int i = 0; i < slotCount; ++i)
        d.contact(kind, true, true, true);
    d.contactCount().end();
    return parseReportDescriptor(d.data(), d.size());
}

std::vector<std::uint8_t> sizedReport(int slotCount, std::uint32_t announced)
{
    std::vector<std::uint8_t> report(std::size_t(1 + slotCount * 8 + 1), 0);
    report[0] = 1;
    report.back() = std::uint8_t(announced);
    return report;
}

void putContact(std::vector<std::uint8_t>& report, int slot, std::uint8_t id, std::uint16_t x, std::uint16_t y,
                std::uint8_t width = 0, std::uint8_t height = 0, std::uint8_t flags = 0x07)
{
    const int base = 8 + slot * 64;
    putBits(report, base, 8, flags);
    putBits(report, base + 8, 8, id);
    putBits(report, base + 16, 16, x);
    putBits(report, base + 32, 16, y);
    putBits(report, base + 48, 8, width);
    putBits(report, base + 56, 8, height);
}

} // namespace

TEST(ReportDecoder, BitReader)
{
    const std::vector<std::uint8_t> report = bytes("01a5ff0f80");
    EXPECT_EQ(readBits(report.data(), report.size(), 8, 8), 0xA5u);
    EXPECT_EQ(readBits(report.data(), report.size(), 12, 8), 0xFAu);
    EXPECT_EQ(readBits(report.data(), report.size(), 9, 1), 0u);
    EXPECT_EQ(readBits(report.data(), report.size(), 10, 1), 1u);
    EXPECT_EQ(readBits(report.data(), report.size(), 16, 12), 0xFFFu);
    // Reads stop at the report's end; bits beyond are 0.
    EXPECT_EQ(readBits(report.data(), report.size(), 36, 16), 0x8u);
    EXPECT_EQ(readBits(report.data(), report.size(), 40, 1), 0u);
    EXPECT_EQ(readBits(report.data(), report.size(), std::numeric_limits<std::int32_t>::max(), 32), 0u);
    // At most 32 bits; nonsense arguments give 0.
    const std::vector<std::uint8_t> ones(6, 0xFF);
    EXPECT_EQ(readBits(ones.data(), ones.size(), 3, 40), 0xFFFFFFFFu);
    EXPECT_EQ(readBits(ones.data(), ones.size(), -1, 8), 0u);
    EXPECT_EQ(readBits(ones.data(), ones.size(), 0, 0), 0u);
    EXPECT_EQ(readBits(nullptr, 4, 0, 8), 0u);
}

TEST(ReportDecoder, WorkedExampleAndOtherReports)
{
    TouchReportDecoder decoder(workedExampleLayout());
    const std::vector<std::uint8_t> report = bytes("0103050008000401");
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    ASSERT_EQ(list.count, 1);
    const TouchContact& contact = list.contacts[0];
    EXPECT_EQ(contact.slot, 0);
    EXPECT_EQ(contact.flags, 3);
    EXPECT_EQ(contact.contactID, 5);
    EXPECT_EQ(contact.rawX, 2048u);
    EXPECT_EQ(contact.rawY, 1024u);
    EXPECT_EQ(contact.xMaximum, 4095);
    EXPECT_EQ(contact.yMinimum, 0);
    EXPECT_EQ(contact.marker, 0);
    EXPECT_EQ(contact.kind, ContactKindFinger);
    EXPECT_EQ(list.frameContactCount, 1);
    EXPECT_EQ(list.slotCount, 1);
    EXPECT_TRUE(list.complete);

    const std::vector<std::uint8_t> lifted = bytes("0102050008000401");
    const TouchContactList none = decoder.contactsFromReport(lifted.data(), lifted.size());
    EXPECT_EQ(none.count, 0);
    EXPECT_EQ(none.frameContactCount, 1);
    EXPECT_TRUE(none.complete);

    // A report of another ID, an empty report or no layout give the empty list.
    const std::vector<std::uint8_t> other = bytes("0203050008000401");
    const TouchContactList empty = decoder.contactsFromReport(other.data(), other.size());
    EXPECT_EQ(empty.count, 0);
    EXPECT_EQ(empty.slotCount, 0);
    EXPECT_FALSE(empty.complete);
    EXPECT_EQ(decoder.contactsFromReport(report.data(), 0).slotCount, 0);
    EXPECT_EQ(decoder.contactsFromReport(nullptr, 8).slotCount, 0);
    EXPECT_EQ(TouchReportDecoder().contactsFromReport(report.data(), report.size()).slotCount, 0);

    // A short report: the slot's Tip Switch is there, the coordinates are cut.
    const TouchContactList shortList = decoder.contactsFromReport(report.data(), 4);
    ASSERT_EQ(shortList.count, 1);
    EXPECT_EQ(shortList.contacts[0].rawX, 0u);
    EXPECT_EQ(shortList.frameContactCount, 1);
}

TEST(ReportDecoder, ContactFieldsAndFlags)
{
    const TouchLayout layout = sizedLayout(3);
    TouchReportDecoder decoder(layout);
    std::vector<std::uint8_t> report = sizedReport(3, 0);
    putContact(report, 0, 44, 100, 200, 0, 0, 0x07);
    putContact(report, 1, 1, 300, 400, 0, 0, 0x03); // Touch Valid clear
    putContact(report, 2, 2, 500, 600, 0, 0, 0x05); // In Range clear
    TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.contacts[0].slot, 0);
    EXPECT_EQ(list.frameContactCount, 1) << "no announced count: the contacts found";

    // Without In Range and Touch Valid fields, Tip Switch alone makes a contact;
    // 16-bit X of 0xFFFF stays unsigned with a negative minimum; identifiers keep 8 bits.
    touchtest::Descriptor bare;
    bare.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection().field(0x0D, 0x42, 1).padding(7);
    bare.field(0x0D, 0x51, 16).raw({0x15, 0x9C, 0x25, 0x64}).field(0x01, 0x30, 16).field(0x01, 0x31, 16).end().end();
    TouchReportDecoder bareDecoder(parseReportDescriptor(bare.data(), bare.size()));
    const std::vector<std::uint8_t> bareReport = bytes("01012c01ffff0a00");
    list = bareDecoder.contactsFromReport(bareReport.data(), bareReport.size());
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.contacts[0].contactID, 44);
    EXPECT_EQ(list.contacts[0].rawX, 65535u);
    EXPECT_EQ(list.contacts[0].xMinimum, -100);
    EXPECT_EQ(list.contacts[0].rawY, 10u);
    EXPECT_TRUE(list.complete);
}

TEST(ReportDecoder, MarkersAndKinds)
{
    TouchReportDecoder pen(sizedLayout(1, 0x20));
    TouchReportDecoder finger(sizedLayout(1, 0x22));
    std::vector<std::uint8_t> report = sizedReport(1, 1);
    const auto decodeOne = [&](TouchReportDecoder& decoder) {
        const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
        EXPECT_EQ(list.count, 1);
        return list.contacts[0];
    };
    putContact(report, 0, 1, 10, 10, 8, 8);
    EXPECT_EQ(decodeOne(pen).marker, 0x0808);
    EXPECT_EQ(decodeOne(pen).kind, ContactKindFinger);
    putContact(report, 0, 1, 10, 10, 2, 2);
    EXPECT_EQ(decodeOne(finger).kind, ContactKindPen);
    putContact(report, 0, 1, 10, 10, 4, 4);
    EXPECT_EQ(decodeOne(finger).kind, ContactKindEraser);
    putContact(report, 0, 1, 10, 10, 3, 0);
    EXPECT_EQ(decodeOne(finger).marker, 0x0003) << "Height 0: the Width alone";
    EXPECT_EQ(decodeOne(pen).kind, ContactKindPen);

    // Width 0x0102 without a Height field; Height alone keeps its low byte.
    touchtest::Descriptor widthOnly;
    widthOnly.touchScreenApplication(1).usagePage(0x0D).usage(0x20).collection().field(0x0D, 0x42, 1).padding(7);
    widthOnly.field(0x0D, 0x51, 8).field(0x01, 0x30, 16).field(0x01, 0x31, 16).field(0x0D, 0x48, 16).end().end();
    TouchReportDecoder widthDecoder(parseReportDescriptor(widthOnly.data(), widthOnly.size()));
    const std::vector<std::uint8_t> widthReport = bytes("0101000a000b000201");
    TouchContactList list = widthDecoder.contactsFromReport(widthReport.data(), widthReport.size());
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.contacts[0].marker, 0x0102);
    EXPECT_EQ(list.contacts[0].kind, ContactKindPen);

    touchtest::Descriptor heightOnly;
    heightOnly.touchScreenApplication(1).usagePage(0x0D).usage(0x22).collection().field(0x0D, 0x42, 1).padding(7);
    heightOnly.field(0x0D, 0x51, 8).field(0x01, 0x30, 16).field(0x01, 0x31, 16).field(0x0D, 0x49, 16).end().end();
    TouchReportDecoder heightDecoder(parseReportDescriptor(heightOnly.data(), heightOnly.size()));
    const std::vector<std::uint8_t> heightReport = bytes("0101000a000b000202");
    list = heightDecoder.contactsFromReport(heightReport.data(), heightReport.size());
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(list.contacts[0].marker, 0x0002);
    EXPECT_EQ(list.contacts[0].kind, ContactKindFinger);

    // Eraser and Invert bits win over any marker.
    touchtest::Descriptor tool;
    tool.touchScreenApplication(1).usagePage(0x0D).usage(0x20).collection().field(0x0D, 0x42, 1);
    tool.field(0x0D, 0x45, 1).field(0x0D, 0x3C, 1).padding(5).field(0x0D, 0x51, 8).field(0x01, 0x30, 16);
    tool.field(0x01, 0x31, 16).field(0x0D, 0x48, 8).field(0x0D, 0x49, 8).end().end();
    const TouchLayout toolLayout = parseReportDescriptor(tool.data(), tool.size());
    EXPECT_TRUE(toolLayout.hasEraser && toolLayout.hasInvert);
    TouchReportDecoder toolDecoder(toolLayout);
    for (const char* hex : {"0103000a000b000808", "0105000a000b000202"}) {
        const std::vector<std::uint8_t> toolReport = bytes(hex);
        list = toolDecoder.contactsFromReport(toolReport.data(), toolReport.size());
        ASSERT_EQ(list.count, 1);
        EXPECT_EQ(list.contacts[0].kind, ContactKindEraser) << hex;
    }
    EXPECT_EQ(contactKindName(ContactKindEraser), QLatin1String("eraser"));
    EXPECT_EQ(contactKindName(ContactKindNone), QLatin1String("none"));
    EXPECT_EQ(contactKindName(ContactKindUnknown), QLatin1String("unknown"));
    EXPECT_EQ(contactKindName(-3), QLatin1String("finger"));
    EXPECT_EQ(contactKindName(9), QLatin1String("finger"));
}

TEST(ReportDecoder, HybridFrames)
{
    TouchReportDecoder decoder(sizedLayout(5));
    std::vector<std::uint8_t> report = sizedReport(5, 10);
    for (int i = 0; i < 5; ++i)
        putContact(report, i, std::uint8_t(i), 10, 10);

    // The full count repeated in every report of the frame.
    TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(list.frameContactCount, 10);
    EXPECT_FALSE(list.complete);
    EXPECT_FALSE(list.continuation);
    EXPECT_EQ(decoder.hybridOffset(), 5);
    EXPECT_TRUE(decoder.hybridModeObserved());

    // A report of another ID in between changes nothing.
    const std::vector<std::uint8_t> other = bytes("0201");
    decoder.contactsFromReport(other.data(), other.size());
    EXPECT_EQ(decoder.hybridOffset(), 5);

    list = decoder.contactsFromReport(report.data(), report.size());
    EXPECT_EQ(list.hybridOffset, 5);
    EXPECT_TRUE(list.continuation);
    EXPECT_TRUE(list.complete);
    EXPECT_EQ(decoder.hybridOffset(), 0);

    // The count in the first report only: the second is a frame of its own.
    decoder.contactsFromReport(report.data(), report.size());
    std::vector<std::uint8_t> rest = sizedReport(5, 0);
    for (int i = 0; i < 3; ++i)
        putContact(rest, i, std::uint8_t(5 + i), 10, 10);
    list = decoder.contactsFromReport(rest.data(), rest.size());
    EXPECT_EQ(list.frameContactCount, 3);
    EXPECT_EQ(list.hybridOffset, 5);
    EXPECT_FALSE(list.continuation);
    EXPECT_TRUE(list.complete);
    EXPECT_EQ(decoder.hybridOffset(), 0);
    EXPECT_TRUE(decoder.hybridModeObserved()) << "stays set until the state is reset";

    // Fifteen contacts over three reports.
    report.back() = 15;
    EXPECT_FALSE(decoder.contactsFromReport(report.data(), report.size()).complete);
    EXPECT_FALSE(decoder.contactsFromReport(report.data(), report.size()).complete);
    EXPECT_EQ(decoder.hybridOffset(), 10);
    EXPECT_TRUE(decoder.contactsFromReport(report.data(), report.size()).complete);

    decoder.contactsFromReport(report.data(), report.size());
    decoder.resetHybridState();
    EXPECT_EQ(decoder.hybridOffset(), 0);
    EXPECT_FALSE(decoder.hybridModeObserved());

    // Without a Contact Count field every report is complete.
    TouchReportDecoder noCount(workedExampleLayout());
    TouchLayout layout = workedExampleLayout();
    layout.contactCountBitOffset = -1;
    layout.contactCountBitLength = 0;
    layout.hasContactCount = false;
    noCount.setLayout(layout);
    const std::vector<std::uint8_t> single = bytes("01030500080004ff");
    list = noCount.contactsFromReport(single.data(), single.size());
    EXPECT_EQ(list.frameContactCount, 1);
    EXPECT_TRUE(list.complete);
}

TEST(ReportDecoder, DecodingAllocatesNothing)
{
    TouchReportDecoder decoder(sizedLayout(8));
    std::vector<std::uint8_t> report = sizedReport(8, 12);
    for (int i = 0; i < 8; ++i)
        putContact(report, i, std::uint8_t(i), std::uint16_t(100 * i), 50, 8, 8);
    int contacts = 0;
    {
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i)
            contacts += decoder.contactsFromReport(report.data(), report.size()).count;
        EXPECT_EQ(scope.count(), 0u);
    }
    EXPECT_EQ(contacts, 800);
    touchtest::Descriptor d;
    d.touchScreenApplication(1).contact().contactCount().end();
    {
        velotap::test::AllocationScope scope;
        const TouchLayout parsed = parseReportDescriptor(d.data(), d.size());
        EXPECT_TRUE(parsed.valid);
        EXPECT_EQ(scope.count(), 0u);
    }
}
