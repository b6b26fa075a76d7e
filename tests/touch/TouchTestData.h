#pragma once
#include "touch/TouchTypes.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <initializer_list>
#include <vector>

#include <QByteArray>
#include <QString>

// Descriptors and reports shared by the touch tests.
namespace touchtest {

// One Finger collection in report 1: Tip Switch and In Range bits, six
// padding bits, an 8-bit Contact Identifier, 16-bit X and Y (0..4095), then
// an 8-bit Contact Count after the collection. Reports are 8 bytes long.
inline const std::vector<std::uint8_t> kSingleFingerDescriptor = {
    0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01, 0x09, 0x22, 0xA1, 0x02, 0x09, 0x42, 0x09, 0x32,
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x02, 0x81, 0x02, 0x95, 0x06, 0x81, 0x03, 0x09, 0x51,
    0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0x05, 0x01, 0x26, 0xFF, 0x0F, 0x75, 0x10, 0x95,
    0x01, 0x09, 0x30, 0x81, 0x02, 0x09, 0x31, 0x81, 0x02, 0xC0, 0x05, 0x0D, 0x09, 0x54, 0x25, 0x7F,
    0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};

inline std::vector<std::uint8_t> bytes(const char* hex)
{
    const QByteArray raw = QByteArray::fromHex(QByteArray(hex));
    return std::vector<std::uint8_t>(raw.begin(), raw.end());
}

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
    Descriptor& logicalMaximum16(std::uint16_t value) { return raw({0x26, std::uint8_t(value), std::uint8_t(value >> 8)}); }
    Descriptor& input() { return raw({0x81, 0x02}); }
    Descriptor& padding(std::uint8_t bits) { return reportSize(bits).reportCount(1).raw({0x81, 0x03}); }
    Descriptor& feature() { return raw({0xB1, 0x02}); }
    Descriptor& collection(std::uint8_t type = 0x02) { return raw({0xA1, type}); }
    Descriptor& end() { return raw({0xC0}); }
    Descriptor& touchScreenApplication(std::uint8_t report)
    {
        return usagePage(0x0D).usage(0x04).collection(0x01).reportID(report);
    }
    Descriptor& field(std::uint8_t page, std::uint8_t id, std::uint8_t bits)
    {
        return usagePage(page).usage(id).reportSize(bits).reportCount(1).input();
    }

    // A contact collection (Finger 0x22, Stylus 0x20, Pen 0x02) of 48 bits:
    // Tip Switch, optional In Range and Touch Valid bits, padding to a byte,
    // 8-bit Contact Identifier, X and Y of 16 bits (0..4095); with size
    // fields, 8-bit Width and Height follow (64 bits in all).
    Descriptor& contact(std::uint8_t kind = 0x22, bool inRange = true, bool touchValid = false, bool sizeFields = false)
    {
        usagePage(0x0D).usage(kind).collection();
        raw({0x15, 0x00, 0x25, 0x01});
        field(0x0D, 0x42, 1);
        std::uint8_t flagBits = 1;
        if (inRange) {
            field(0x0D, 0x32, 1);
            ++flagBits;
        }
        if (touchValid) {
            field(0x0D, 0x47, 1);
            ++flagBits;
        }
        padding(8 - flagBits);
        field(0x0D, 0x51, 8);
        logicalMaximum16(4095);
        field(0x01, 0x30, 16).field(0x01, 0x31, 16);
        if (sizeFields)
            field(0x0D, 0x48, 8).field(0x0D, 0x49, 8);
        return end();
    }
    Descriptor& contactCount() { return field(0x0D, 0x54, 8); }

    const std::uint8_t* data() const { return bytes.data(); }
    std::size_t size() const { return bytes.size(); }
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

// The layout's flags in one line, set ones only.
inline std::string flagsText(const TouchLayout& l)
{
    std::string text;
    const std::pair<bool, const char*> flags[] = {
        {l.valid, "valid"}, {l.hasFingerCollection, "finger"}, {l.hasPenCollection, "pen"},
        {l.hasContactCount, "count"}, {l.hasTouchValid, "touchValid"}, {l.hasInRange, "inRange"},
        {l.hasInvert, "invert"}, {l.hasEraser, "eraser"}, {l.hasWidth, "width"}, {l.hasHeight, "height"},
        {l.hasLogicalRanges, "ranges"}};
    for (const auto& [set, name] : flags)
        if (set)
            text += text.empty() ? name : std::string(" ") + name;
    return text;
}

// Sets `bits` bits of a report at a bit position, least significant first.
inline void putBits(std::vector<std::uint8_t>& report, int offset, int bits, std::uint32_t value)
{
    for (int k = 0; k < bits; ++k) {
        const int at = offset + k;
        if ((value >> k) & 1)
            report[std::size_t(at / 8)] |= std::uint8_t(1u << (at % 8));
        else
            report[std::size_t(at / 8)] &= std::uint8_t(~(1u << (at % 8)));
    }
}

} // namespace touchtest
