#include "platform/linux/HidDescriptorFacts.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

struct Globals {
    std::uint32_t usagePage = 0;
    bool hasUsagePage = false;
    std::uint64_t reportSize = 0;
    std::uint64_t reportCount = 0;
    std::uint32_t reportID = 0;
};

// Clamps absurd sizes so a hostile descriptor cannot overflow the sums.
constexpr std::uint64_t kMaxFieldBits = 1u << 20;

} // namespace

HidDescriptorFacts hidDescriptorFacts(const QByteArray& descriptor)
{
    HidDescriptorFacts facts;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(descriptor.constData());
    const qsizetype length = descriptor.size();

    Globals globals;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits; // per report ID
    bool usesReportIDs = false;
    std::int64_t firstUsagePage = -1;
    std::int64_t firstUsage = -1;
    std::int64_t pendingUsage = -1;      // first local usage since the last main item
    std::int64_t pendingUsagePage = -1;  // page of a 4-byte usage
    bool sawCollection = false;
    int depth = 0;

    qsizetype i = 0;
    while (i < length) {
        const std::uint8_t prefix = bytes[i];
        if (prefix == 0xFE) { // long item: size, tag, data
            if (i + 1 >= length)
                break;
            i += 3 + bytes[i + 1];
            continue;
        }
        const int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (i + 1 + size > length)
            break;
        std::uint32_t value = 0;
        for (int b = 0; b < size; ++b)
            value |= std::uint32_t(bytes[i + 1 + b]) << (8 * b);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        i += 1 + size;

        if (type == 1) { // global
            switch (tag) {
            case 0:
                globals.usagePage = value;
                globals.hasUsagePage = true;
                if (firstUsagePage < 0)
                    firstUsagePage = value;
                break;
            case 7: globals.reportSize = std::min<std::uint64_t>(value, kMaxFieldBits); break;
            case 8:
                globals.reportID = value;
                usesReportIDs = true;
                break;
            case 9: globals.reportCount = std::min<std::uint64_t>(value, kMaxFieldBits); break;
            case 10: stack.push_back(globals); break;
            case 11:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
        } else if (type == 2) { // local
            if (tag == 0 && pendingUsage < 0) {
                pendingUsage = size == 4 ? (value & 0xFFFF) : value;
                pendingUsagePage = size == 4 ? std::int64_t(value >> 16) : -1;
                if (firstUsage < 0)
                    firstUsage = pendingUsage;
            }
        } else if (type == 0) { // main
            if (tag == 8) { // Input
                std::uint64_t& bits = inputBits[globals.reportID];
                bits = std::min<std::uint64_t>(bits + globals.reportSize * globals.reportCount, kMaxFieldBits * 64);
            } else if (tag == 10) { // Collection
                const std::int64_t page = pendingUsagePage >= 0 ? pendingUsagePage
                                          : globals.hasUsagePage ? std::int64_t(globals.usagePage) : -1;
                if (depth == 0 && page >= 0 && pendingUsage >= 0 && facts.topLevelUsages.size() < 64)
                    facts.topLevelUsages.emplace_back(std::uint32_t(page), std::uint32_t(pendingUsage));
                if (!sawCollection) { // the first collection names the device
                    sawCollection = true;
                    facts.primaryUsagePage = page;
                    facts.primaryUsage = pendingUsage;
                }
                ++depth;
            } else if (tag == 12 && depth > 0) { // End Collection
                --depth;
            }
            pendingUsage = -1;
            pendingUsagePage = -1;
        }
    }

    if (!sawCollection) {
        facts.primaryUsagePage = firstUsagePage;
        facts.primaryUsage = firstUsage;
    }
    for (const auto& [id, bits] : inputBits) {
        const std::int64_t bytesNeeded = std::int64_t((bits + 7) / 8) + (usesReportIDs ? 1 : 0);
        if (bits > 0)
            facts.maxInputReportSize = std::max(facts.maxInputReportSize, bytesNeeded);
    }
    return facts;
}
