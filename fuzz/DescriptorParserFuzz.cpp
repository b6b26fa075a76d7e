// The descriptor parser on arbitrary bytes: it must never read outside the
// descriptor, overflow or hang, and a valid layout must keep its invariants.
#include "touch/DescriptorSummary.h"
#include "touch/ReportDescriptorParser.h"

#include <cstdlib>
#include <limits>

namespace {

// Every built range is at least one unit wide, unless its minimum is the
// largest value and cannot widen.
bool rangeWidened(std::int32_t minimum, std::int32_t maximum)
{
    return std::int64_t(maximum) >= std::int64_t(minimum) + 1 || minimum == std::numeric_limits<std::int32_t>::max();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TouchLayout layout = parseReportDescriptor(data, size);
    if (layout.contactCount < 0 || layout.contactCount > kMaxTouchSlots
        || layout.contactCollectionCount < layout.contactCount)
        std::abort();
    if (layout.valid) {
        if (layout.contactCount < 1)
            std::abort();
        for (int i = 0; i < layout.contactCount; ++i) {
            const TouchSlotLayout& slot = layout.contacts[i];
            // Only a pen may lack a Contact Identifier.
            const bool identified = slot.contactIdBitOffset >= 0 || slot.preferredKind == ContactKindPen;
            if (slot.slot != i || slot.tipSwitchBitOffset < 0 || !identified || slot.xBitOffset < 0
                || slot.yBitOffset < 0 || !rangeWidened(slot.xLogicalMinimum, slot.xLogicalMaximum)
                || !rangeWidened(slot.yLogicalMinimum, slot.yLogicalMaximum))
                std::abort();
        }
        if (layout.reportIDByteOffset != 0 && (layout.reportIDByteOffset != -1 || layout.reportID != 0))
            std::abort();
        if (descriptorSummary(layout).size() != 18)
            std::abort();
    }
    return 0;
}
