#include "touch/ReportDecoder.h"

#include <algorithm>

QLatin1String contactKindName(std::int64_t kind)
{
    switch (kind) {
    case ContactKindNone:
        return QLatin1String("none");
    case ContactKindPen:
        return QLatin1String("pen");
    case ContactKindEraser:
        return QLatin1String("eraser");
    case ContactKindUnknown:
        return QLatin1String("unknown");
    case ContactKindFinger:
    default:
        return QLatin1String("finger");
    }
}

std::uint32_t readBitsNearEnd(const std::uint8_t* report, std::size_t length, std::size_t firstByte, unsigned shift,
                              unsigned bits)
{
    if (firstByte >= length)
        return 0;
    // Bits are consecutive, so the read simply stops at the report's end.
    const std::uint64_t available = std::uint64_t(length - firstByte) * 8 - shift;
    const std::uint64_t count = std::min<std::uint64_t>(bits, available);
    const std::size_t byteCount = std::size_t((shift + count + 7) >> 3); // at most 5
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < byteCount; ++i)
        value |= std::uint64_t(report[firstByte + i]) << (8 * i);
    return std::uint32_t((value >> shift) & ((std::uint64_t(1) << count) - 1));
}

namespace {

// One bit, as readBits(…, 1) reads it, without the general path's work; an
// absent field (offset -1) reads 0.
bool flagBit(const std::uint8_t* report, std::size_t length, std::int32_t offset)
{
    if (offset < 0)
        return false;
    const std::size_t byte = std::size_t(offset) >> 3;
    return byte < length && ((report[byte] >> (offset & 7)) & 1) != 0;
}

std::uint16_t markerFor(const TouchSlotLayout& slot, const std::uint8_t* report, std::size_t length)
{
    const bool hasWidth = slot.widthBitOffset >= 0;
    const bool hasHeight = slot.heightBitOffset >= 0;
    const std::uint32_t width = hasWidth ? readBits(report, length, slot.widthBitOffset, slot.widthBitLength) : 0;
    const std::uint32_t height = hasHeight ? readBits(report, length, slot.heightBitOffset, slot.heightBitLength) : 0;
    const bool heightNonZero = hasHeight && (height & 0xFFFF) != 0;
    if (hasWidth && heightNonZero)
        return std::uint16_t((width & 0xFF) * 256 + (height & 0xFF));
    if (hasWidth)
        return std::uint16_t(width & 0xFFFF);
    if (heightNonZero)
        return std::uint16_t(height & 0xFF);
    return 0;
}

std::int64_t kindFor(const TouchSlotLayout& slot, std::uint16_t marker, const std::uint8_t* report, std::size_t length)
{
    if (flagBit(report, length, slot.eraserBitOffset) || flagBit(report, length, slot.invertBitOffset))
        return ContactKindEraser;
    // Some displays mark the tool in the size fields instead.
    switch (marker) {
    case 0x0808:
        return ContactKindFinger;
    case 0x0404:
        return ContactKindEraser;
    case 0x0202:
        return ContactKindPen;
    default:
        return slot.preferredKind;
    }
}

} // namespace

TouchContactList contactsFromReport(const TouchLayout& layout, const std::uint8_t* report, std::size_t length,
                                    HybridFrameState& hybrid)
{
    TouchContactList list{};
    if (!report || !layout.valid || length == 0)
        return list;
    // Unnumbered reports (offset -1) carry no ID to check.
    if (layout.reportIDByteOffset >= 0
        && (length <= std::size_t(layout.reportIDByteOffset) || report[layout.reportIDByteOffset] != layout.reportID))
        return list;

    list.slotCount = layout.contactCount;
    list.hybridOffset = hybrid.offset;
    // Without a Contact Count field (offset -1) nothing is announced.
    const std::uint32_t announced = readBits(report, length, layout.contactCountBitOffset, layout.contactCountBitLength);

    // Each contact is built in a local and the count kept in a register:
    // stores into the list could otherwise alias the report's bytes and
    // force every field to be reloaded.
    std::int32_t count = 0;
    const int slotTotal = std::clamp(layout.contactCount, 0, kMaxTouchSlots);
    for (int s = 0; s < slotTotal; ++s) {
        const TouchSlotLayout& slot = layout.contacts[s];
        // A missing In Range or Touch Valid field counts as 1.
        if (!flagBit(report, length, slot.tipSwitchBitOffset)
            || (slot.inRangeBitOffset >= 0 && !flagBit(report, length, slot.inRangeBitOffset))
            || (slot.touchValidBitOffset >= 0 && !flagBit(report, length, slot.touchValidBitOffset)))
            continue;
        TouchContact contact;
        contact.slot = slot.slot;
        contact.flags = 3;
        contact.contactID = std::uint8_t(readBits(report, length, slot.contactIdBitOffset, slot.contactIdBitLength) & 0xFF);
        contact.rawX = readBits(report, length, slot.xBitOffset, slot.xBitLength);
        contact.rawY = readBits(report, length, slot.yBitOffset, slot.yBitLength);
        contact.xMinimum = slot.xLogicalMinimum;
        contact.xMaximum = slot.xLogicalMaximum;
        contact.yMinimum = slot.yLogicalMinimum;
        contact.yMaximum = slot.yLogicalMaximum;
        contact.marker = markerFor(slot, report, length);
        contact.kind = kindFor(slot, contact.marker, report, length);
        list.contacts[count++] = contact;
    }
    list.count = count;

    list.frameContactCount = announced != 0 ? std::int32_t(announced) : list.count;
    // A display that announces the count in the first report of a frame
    // sends 0 in the others: they belong to the frame in progress.
    if (announced == 0 && hybrid.offset > 0)
        list.frameContactCount = hybrid.frameCount;

    // A report has room for every contact collection, also those beyond the
    // slots: a frame that fits them is whole, never waiting for a next report.
    const std::int32_t perReport = std::max(layout.contactCount, layout.contactCollectionCount);
    if (list.slotCount < 1 || list.frameContactCount <= perReport) {
        list.complete = true;
        hybrid.offset = 0;
    } else {
        // More contacts than slots: the device spreads the frame over several reports.
        list.continuation = list.hybridOffset > 0;
        const std::int64_t sum = std::int64_t(perReport) + list.hybridOffset;
        list.complete = sum >= list.frameContactCount;
        hybrid.observed = true;
        hybrid.offset = sum < list.frameContactCount ? std::int32_t(sum) : 0;
        hybrid.frameCount = list.frameContactCount;
    }
    return list;
}

void TouchReportDecoder::setLayout(const TouchLayout& layout)
{
    _layout = layout;
    resetHybridState();
}

TouchContactList TouchReportDecoder::contactsFromReport(const std::uint8_t* report, std::size_t length)
{
    return ::contactsFromReport(_layout, report, length, _hybrid);
}

void TouchReportDecoder::resetHybridState()
{
    _hybrid = HybridFrameState{};
}
