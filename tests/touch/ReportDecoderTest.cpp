#include "touch/DebugText.h"
#include "touch/ReportDecoder.h"
#include "tests/support/AllocationCounter.h"
#include "tests/touch/TouchTestData.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using touchtest::bytes;
using touchtest::Descriptor;

namespace {

// Report 1 with `slotCount` contact collections of 8 bytes each (flags byte:
// Tip Switch, In Range, Touch Valid; Contact Identifier; 16-bit X and Y;
// 8-bit Width and Height), then an 8-bit Contact Count.
TouchLayout sizedLayout(int slotCount, std::uint8_t kind = 0x22)
{
    return Descriptor().application(1).contacts(slotCount, kind, true).contactCount().end().layout();
}

// `down` contacts of a sizedLayout report, the rest of `slotCount` up, and the count.
std::string sizedReport(int slotCount, int down, int announced)
{
    std::string hex = "01";
    for (int i = 0; i < slotCount; ++i)
        hex += i < down ? " 07 0" + std::to_string(i) + " 0a00 0b00 0000" : " 00 00 0000 0000 0000";
    char count[4];
    std::snprintf(count, sizeof count, " %02x", announced);
    return hex + count;
}

// The report's frame and contact lines of the debug text, from "frame=" on.
std::string decoded(TouchReportDecoder& decoder, const std::string& hex)
{
    const std::vector<std::uint8_t> report = bytes(hex.c_str());
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    const QString text = debugTextForReport(report.data(), report.size(), list, QStringLiteral("-"), decoder.layout(),
                                            decoder.hybridModeObserved());
    const qsizetype frame = text.indexOf(QStringLiteral("frame="));
    return frame < 0 ? std::string() : text.mid(frame).toStdString();
}

} // namespace

TEST(ReportDecoder, BitReader)
{
    // Across bytes, single bits, and reads cut at the report's end (bits beyond are 0).
    const std::vector<std::uint8_t> report = bytes("01a5ff0f80");
    const std::tuple<int, int, std::uint32_t> reads[] = {{8, 8, 0xA5}, {12, 8, 0xFA}, {9, 1, 0}, {10, 1, 1}, {16, 12, 0xFFF},
                                                         {36, 16, 0x8}, {40, 1, 0}, {std::numeric_limits<std::int32_t>::max(), 32, 0}};
    for (const auto& [offset, length, value] : reads)
        EXPECT_EQ(readBits(report.data(), report.size(), offset, length), value) << offset << ":" << length;
    // At most 32 bits; nonsense arguments give 0.
    const std::vector<std::uint8_t> ones(6, 0xFF);
    EXPECT_EQ(readBits(ones.data(), ones.size(), 3, 40), 0xFFFFFFFFu);
    EXPECT_EQ(readBits(ones.data(), ones.size(), -1, 8), 0u);
    EXPECT_EQ(readBits(ones.data(), ones.size(), 0, 0), 0u);
    EXPECT_EQ(readBits(nullptr, 4, 0, 8), 0u);
}

TEST(ReportDecoder, ContactsAndOtherReports)
{
    // A contact of this layout is decoded as the decode command's test shows.
    TouchReportDecoder decoder(touchtest::singleFingerLayout());
    const std::vector<std::uint8_t> report = bytes("0103050008000401");
    // Tip Switch clear: no contact, the announced count stands.
    EXPECT_EQ(decoded(decoder, "0102050008000401"),
              "frame=1 reported=1 contacts=0 slots=1 hybridOffset=0 hybrid=no complete=yes");
    // A short report: Tip Switch is there, the coordinates are cut.
    EXPECT_EQ(decoded(decoder, "01030500"),
              "frame=1 reported=1 contacts=1 slots=1 hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id=  5 flags=0x03 down kind=finger  x=    0 y=    0 marker=0x0000");
    // Another report ID, no bytes, no report or no layout: the empty list.
    EXPECT_EQ(decoded(decoder, "0203050008000401"),
              "frame=0 reported=0 contacts=0 slots=0 hybridOffset=0 hybrid=no complete=no");
    EXPECT_TRUE(decoder.contactsFromReport(report.data(), 0).slotCount == 0 && decoder.contactsFromReport(nullptr, 8).slotCount == 0
                && TouchReportDecoder().contactsFromReport(report.data(), report.size()).slotCount == 0);

    // Unnumbered reports: every report is a touch report, read from bit 0.
    TouchReportDecoder unnumbered(Descriptor().usagePage(0x0D).usage(0x04).collection(0x01).contact().end().layout());
    EXPECT_EQ(decoded(unnumbered, "03050008000401"),
              "frame=1 reported=1 contacts=1 slots=1 hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id=  5 flags=0x03 down kind=finger  x= 2048 y= 1024 marker=0x0000");

    // Touch Valid or In Range clear: not a contact.
    TouchReportDecoder sized(sizedLayout(3));
    EXPECT_EQ(decoded(sized, "01 07 2c 6400 c800 0000 03 01 2c01 9001 0000 05 02 f401 5802 0000 00"),
              "frame=1 reported=1 contacts=1 slots=3 hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id= 44 flags=0x03 down kind=finger  x=  100 y=  200 marker=0x0000");

    // Without In Range and Touch Valid fields Tip Switch alone makes a
    // contact; a Contact Identifier of 300 is 44; 0xFFFF stays 65535 with a
    // negative logical minimum.
    Descriptor bare;
    bare.application(1).open().field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 16).raw({0x15, 0x9C, 0x25, 0x64});
    TouchReportDecoder bareDecoder(bare.xy().end().end().layout());
    EXPECT_EQ(decoded(bareDecoder, "01012c01ffff0a00"),
              "frame=1 reported=1 contacts=1 slots=1 hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id= 44 flags=0x03 down kind=finger  x=65535 y=   10 marker=0x0000");
    const TouchContact contact = bareDecoder.contactsFromReport(report.data(), report.size()).contacts[0];
    EXPECT_TRUE(contact.xMinimum == -100 && contact.xMaximum == 100 && contact.yMinimum == -100 && contact.yMaximum == 100);
}

TEST(ReportDecoder, MarkersAndKinds)
{
    TouchReportDecoder pen(sizedLayout(1, 0x20));
    TouchReportDecoder finger(sizedLayout(1, 0x22));
    const auto tool = [](TouchReportDecoder& decoder, const char* widthAndHeight) {
        const std::string text = decoded(decoder, std::string("01 07 01 0a00 0b00 ") + widthAndHeight + " 01");
        return text.substr(text.find("kind=") + 5);
    };
    EXPECT_EQ(tool(pen, "0808"), "finger  x=   10 y=   11 marker=0x0808");
    EXPECT_EQ(tool(finger, "0202"), "pen     x=   10 y=   11 marker=0x0202");
    EXPECT_EQ(tool(finger, "0404"), "eraser  x=   10 y=   11 marker=0x0404");
    EXPECT_EQ(tool(pen, "0300"), "pen     x=   10 y=   11 marker=0x0003") << "Height 0: the Width alone";

    // Width 0x0102 without a Height field; a Height alone keeps its low byte.
    Descriptor widthOnly, heightOnly;
    TouchReportDecoder widthDecoder(widthOnly.application(1).open(0x20).tipAndID().xy().field(0x0D, 0x48, 16).end().end().layout());
    TouchReportDecoder heightDecoder(heightOnly.application(1).open().tipAndID().xy().field(0x0D, 0x49, 16).end().end().layout());
    EXPECT_EQ(tool(widthDecoder, "0201"), "pen     x=   10 y=   11 marker=0x0102");
    EXPECT_EQ(tool(heightDecoder, "0201"), "finger  x=   10 y=   11 marker=0x0002");

    // Eraser and Invert bits win over any marker.
    Descriptor eraser;
    eraser.application(1).open(0x20).field(0x0D, 0x42, 1).field(0x0D, 0x45, 1).field(0x0D, 0x3C, 1).padding(5);
    eraser.field(0x0D, 0x51, 8).xy().field(0x0D, 0x48, 8).field(0x0D, 0x49, 8).end().end();
    TouchReportDecoder eraserDecoder(eraser.layout());
    EXPECT_TRUE(eraserDecoder.layout().hasEraser && eraserDecoder.layout().hasInvert);
    for (const char* hex : {"0103000a000b000808", "0105000a000b000202"})
        EXPECT_NE(decoded(eraserDecoder, hex).find("kind=eraser "), std::string::npos) << hex;
}

TEST(ReportDecoder, HybridFrames)
{
    TouchReportDecoder decoder(sizedLayout(5));
    const std::string ten = sizedReport(5, 5, 10);
    const auto frame = [&](const std::string& hex) {
        const std::string text = decoded(decoder, hex);
        return text.substr(0, text.find('\n')) + " -> " + std::to_string(decoder.hybridOffset());
    };
    // The full count repeated in every report of the frame; a report of
    // another ID in between changes nothing.
    EXPECT_EQ(frame(ten), "frame=10 reported=10 contacts=5 slots=5 hybridOffset=0 hybrid=observed complete=no -> 5");
    EXPECT_EQ(frame("0201"), "frame=0 reported=0 contacts=0 slots=0 hybridOffset=0 hybrid=observed complete=no -> 5");
    EXPECT_EQ(frame(ten), "frame=10 reported=10 contacts=5 slots=5 hybridOffset=5 hybrid=continuation complete=yes -> 0");

    // The count in the first report only: the others, with 0, continue its
    // frame, also over three reports.
    EXPECT_EQ(frame(ten), "frame=10 reported=10 contacts=5 slots=5 hybridOffset=0 hybrid=observed complete=no -> 5");
    EXPECT_EQ(frame(sizedReport(5, 3, 0)), "frame=10 reported=10 contacts=3 slots=5 hybridOffset=5 hybrid=continuation complete=yes -> 0");
    EXPECT_EQ(frame(sizedReport(5, 5, 15)), "frame=15 reported=15 contacts=5 slots=5 hybridOffset=0 hybrid=observed complete=no -> 5");
    EXPECT_EQ(frame(sizedReport(5, 5, 0)), "frame=15 reported=15 contacts=5 slots=5 hybridOffset=5 hybrid=continuation complete=no -> 10");
    EXPECT_EQ(frame(sizedReport(5, 5, 0)), "frame=15 reported=15 contacts=5 slots=5 hybridOffset=10 hybrid=continuation complete=yes -> 0");
    EXPECT_EQ(frame(sizedReport(5, 2, 0)), "frame=2 reported=2 contacts=2 slots=5 hybridOffset=0 hybrid=observed complete=yes -> 0");

    frame(ten);
    decoder.resetHybridState();
    EXPECT_TRUE(decoder.hybridOffset() == 0 && !decoder.hybridModeObserved());

    // Without a Contact Count field the contacts found are the frame, always complete.
    TouchLayout layout = touchtest::singleFingerLayout();
    layout.contactCountBitOffset = -1;
    layout.contactCountBitLength = 0;
    decoder.setLayout(layout);
    EXPECT_EQ(frame("01030500080004ff"), "frame=1 reported=1 contacts=1 slots=1 hybridOffset=0 hybrid=no complete=yes -> 0");

    // Eight slots of ten collections: ten contacts fit one report, which is
    // the whole frame; an eleventh would not.
    decoder.setLayout(Descriptor().application(1).contacts(10).contactCount().end().layout());
    const std::string tenSlots = "01" + std::string(10 * 12, '0');
    EXPECT_EQ(frame(tenSlots + "0a"), "frame=10 reported=10 contacts=0 slots=8 hybridOffset=0 hybrid=no complete=yes -> 0");
    EXPECT_EQ(frame(tenSlots + "0b"), "frame=11 reported=11 contacts=0 slots=8 hybridOffset=0 hybrid=observed complete=no -> 10");

    // Decoding allocates nothing, hybrid frames included.
    decoder.setLayout(sizedLayout(8));
    const std::vector<std::uint8_t> report = bytes(sizedReport(8, 8, 12).c_str());
    int contacts = 0;
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 100; ++i)
        contacts += decoder.contactsFromReport(report.data(), report.size()).count;
    EXPECT_EQ(scope.count(), 0u);
    EXPECT_EQ(contacts, 800);
}
