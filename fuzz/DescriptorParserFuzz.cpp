// The descriptor parser on arbitrary bytes: it must never read outside the
// descriptor, overflow or hang, and a valid layout must keep its invariants.
#include "touch/DescriptorSummary.h"
#include "touch/ReportDescriptorParser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const TouchLayout layout = parseReportDescriptor(data, size);
    if (layout.contactCount < 0 || layout.contactCount > kMaxTouchSlots)
        std::abort();
    if (layout.valid) {
        if (layout.contactCount < 1)
            std::abort();
        for (int i = 0; i < layout.contactCount; ++i) {
            const TouchSlotLayout& slot = layout.contacts[i];
            if (slot.slot != i || slot.tipSwitchBitOffset < 0 || slot.contactIdBitOffset < 0 || slot.xBitOffset < 0
                || slot.yBitOffset < 0)
                std::abort();
        }
        if (descriptorSummary(layout).size() != 18)
            std::abort();
    }
    return 0;
}
