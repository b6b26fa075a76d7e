#pragma once
#include "touch/HidDeviceSource.h"
#include "touch/ReportDescriptorParser.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

// Descriptors and reports shared by the touch tests.
namespace touchtest {

// One Finger collection in report 1: Tip Switch and In Range bits, six
// padding bits, an 8-bit Contact Identifier, 16-bit X and Y (0..4095), then
// an 8-bit Contact Count after the collection. Reports are 8 bytes long.
inline const char kSingleFingerHex[] = "05 0D 09 04 A1 01 85 01 09 22 A1 02 09 42 09 32 15 00 25 01 75 01 95 02 81 02 "
                                       "95 06 81 03 09 51 25 7F 75 08 95 01 81 02 05 01 26 FF 0F 75 10 95 01 09 30 "
                                       "81 02 09 31 81 02 C0 05 0D 09 54 25 7F 75 08 95 01 81 02 C0";

// A mouse collection in report 1, then a touch screen with one Finger
// collection in report 2: tip bit, 7 pad bits, contact id, 16-bit X and Y
// (0..4095), then an 8-bit Contact Count.
inline QByteArray mouseThenTouchDescriptor()
{
    return QByteArray::fromHex(
        "05010902a10185010901a100050919012903150025019503750181029501750581030501093009311581257f750895028106c0c0"
        "050d0904a10185020922a1020942150025017501950181029507810309511500257f7508950181020501093009311500"
        "26ff0f751095028102c0050d095415002508750895018102c0");
}

// Report 2 of mouseThenTouchDescriptor(): one finger down or lifted at raw x, y.
inline QByteArray fingerReport(bool down, int x, int y, int count = 1)
{
    const char bytes[] = {2, char(down ? 1 : 0), 1, char(x & 0xFF), char(x >> 8), char(y & 0xFF), char(y >> 8), char(count)};
    return QByteArray(bytes, sizeof bytes);
}

// A touch display as the platform lists it, offering the Touch Screen usage.
inline HidDeviceInfo touchDevice(const QString& node, const QByteArray& descriptor = mouseThenTouchDescriptor())
{
    const QVariantList usages{QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsage, qint64(4)}}};
    return {node,
            {{HidProperty::VendorID, qint64(0x4E8)}, {HidProperty::ProductID, qint64(0x2084)},
             {HidProperty::LocationID, qint64(0x01630000)}, {HidProperty::Manufacturer, QStringLiteral("Samsung")},
             {HidProperty::Product, QStringLiteral("Flip")}, {HidProperty::PrimaryUsagePage, qint64(0x0D)},
             {HidProperty::PrimaryUsage, qint64(4)}, {HidProperty::DeviceUsagePairs, usages},
             {HidProperty::ReportDescriptor, descriptor}}};
}

inline std::vector<std::uint8_t> bytes(const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

inline TouchLayout parse(const std::vector<std::uint8_t>& descriptor) { return parseReportDescriptor(descriptor.data(), descriptor.size()); }
inline TouchLayout singleFingerLayout() { return parse(bytes(kSingleFingerHex)); }

// Writes short items one call at a time, so a test reads like the descriptor.
struct Descriptor {
    std::vector<std::uint8_t> bytes;

    Descriptor& raw(std::initializer_list<std::uint8_t> items)
    {
        bytes.insert(bytes.end(), items);
        return *this;
    }
    Descriptor& usagePage(std::uint8_t page) { return raw({0x05, page}); }
    Descriptor& usage(std::uint8_t id) { return raw({0x09, id}); }
    Descriptor& reportID(std::uint8_t id) { return raw({0x85, id}); }
    Descriptor& reportSize(std::uint8_t bits) { return raw({0x75, bits}); }
    Descriptor& reportCount(std::uint8_t count) { return raw({0x95, count}); }
    Descriptor& input() { return raw({0x81, 0x02}); }
    Descriptor& padding(std::uint8_t bits) { return reportSize(bits).reportCount(1).raw({0x81, 0x03}); }
    Descriptor& collection(std::uint8_t type = 0x02) { return raw({0xA1, type}); }
    Descriptor& end() { return raw({0xC0}); }
    Descriptor& application(std::uint8_t report) { return usagePage(0x0D).usage(0x04).collection(0x01).reportID(report); }
    // Opens a contact collection: Finger 0x22, Stylus 0x20 or Pen 0x02.
    Descriptor& open(std::uint8_t kind = 0x22) { return usagePage(0x0D).usage(kind).collection(); }
    Descriptor& field(std::uint8_t page, std::uint8_t id, std::uint8_t bits)
    {
        return usagePage(page).usage(id).reportSize(bits).reportCount(1).input();
    }
    // Tip Switch, seven padding bits and an 8-bit Contact Identifier.
    Descriptor& tipAndID() { return field(0x0D, 0x42, 1).padding(7).field(0x0D, 0x51, 8); }
    // 16-bit X and Y with the logical range in force.
    Descriptor& xy() { return field(0x01, 0x30, 16).field(0x01, 0x31, 16); }
    Descriptor& contactCount() { return field(0x0D, 0x54, 8); }

    // A contact collection of 48 bits: Tip Switch, optional In Range and
    // Touch Valid bits, padding to a byte, 8-bit Contact Identifier, X and Y
    // of 16 bits (0..4095); with size fields 8-bit Width and Height follow.
    Descriptor& contact(std::uint8_t kind = 0x22, bool inRange = true, bool touchValid = false, bool sizes = false)
    {
        open(kind).raw({0x15, 0x00, 0x25, 0x01}).field(0x0D, 0x42, 1);
        if (inRange)
            field(0x0D, 0x32, 1);
        if (touchValid)
            field(0x0D, 0x47, 1);
        padding(std::uint8_t(7 - inRange - touchValid)).field(0x0D, 0x51, 8);
        raw({0x26, 0xFF, 0x0F}).xy();
        if (sizes)
            field(0x0D, 0x48, 8).field(0x0D, 0x49, 8);
        return end();
    }
    // `count` contact collections; with `full` Touch Valid, Width and Height too.
    Descriptor& contacts(int count, std::uint8_t kind = 0x22, bool full = false)
    {
        for (int i = 0; i < count; ++i)
            contact(kind, true, full, full);
        return *this;
    }

    TouchLayout layout() const { return parse(bytes); }
};

// A slot layout in one line, so a test can state a whole slot at once:
// "kind 1 tip 8 range 9 valid -1 invert -1 eraser -1 id 16:8 x 24:16 0..4095 y 40:16 0..4095 w -1:0 h -1:0".
inline std::string slotText(const TouchSlotLayout& s)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "kind %lld tip %d range %d valid %d invert %d eraser %d id %d:%d x %d:%d %d..%d y %d:%d %d..%d w %d:%d h %d:%d",
                  static_cast<long long>(s.preferredKind), s.tipSwitchBitOffset, s.inRangeBitOffset,
                  s.touchValidBitOffset, s.invertBitOffset, s.eraserBitOffset, s.contactIdBitOffset,
                  s.contactIdBitLength, s.xBitOffset, s.xBitLength, s.xLogicalMinimum, s.xLogicalMaximum, s.yBitOffset,
                  s.yBitLength, s.yLogicalMinimum, s.yLogicalMaximum, s.widthBitOffset, s.widthBitLength,
                  s.heightBitOffset, s.heightBitLength);
    return text;
}

// The layout's flags, set ones only, then slots and the Contact Count field:
// "valid finger count inRange ranges slots 1 count 56:8 report 1" ("slots 8 of 10" when capped).
inline std::string layoutText(const TouchLayout& l)
{
    std::string text;
    const std::pair<bool, const char*> flags[] = {
        {l.valid, "valid"}, {l.hasFingerCollection, "finger"}, {l.hasPenCollection, "pen"},
        {l.hasContactCount, "count"}, {l.hasTouchValid, "touchValid"}, {l.hasInRange, "inRange"},
        {l.hasInvert, "invert"}, {l.hasEraser, "eraser"}, {l.hasWidth, "width"}, {l.hasHeight, "height"},
        {l.hasLogicalRanges, "ranges"}};
    for (const auto& [set, name] : flags)
        if (set)
            text += std::string(name) + " ";
    char tail[128];
    const std::string of = l.contactCollectionCount != l.contactCount ? " of " + std::to_string(l.contactCollectionCount) : "";
    std::snprintf(tail, sizeof tail, "slots %d%s count %d:%d report %u", l.contactCount, of.c_str(),
                  l.contactCountBitOffset, l.contactCountBitLength, unsigned(l.reportID));
    return text + tail;
}

} // namespace touchtest
