#include "touch/ReportDescriptorParser.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

constexpr int kMaxUsages = 64;
constexpr int kReportIDCount = 256;
constexpr std::int64_t kUnset = -1;
// Bit positions are kept in 64 bits and saturate here, so that absurd
// Report Size x Report Count products can neither overflow nor wrap to a
// small position; the stored offsets are 32-bit.
constexpr std::int64_t kMaxBitPosition = std::numeric_limits<std::int32_t>::max();
// The highest usage ID the parser acts on (Contact Count); fields of a usage
// range beyond it cannot set anything.
constexpr std::uint32_t kHighestRecognisedUsage = HidUsage::ContactCount;

enum ItemType { MainItem = 0, GlobalItem = 1, LocalItem = 2 };
enum MainTag { InputTag = 8, CollectionTag = 10, EndCollectionTag = 12 };
enum GlobalTag { UsagePageTag = 0, LogicalMinimumTag = 1, LogicalMaximumTag = 2, ReportSizeTag = 7, ReportIDTag = 8, ReportCountTag = 9 };
enum LocalTag { UsageTag = 0, UsageMinimumTag = 1, UsageMaximumTag = 2 };

struct Usage {
    std::uint32_t page = 0;
    std::uint32_t id = 0;
};

std::int32_t clampedPosition(std::int64_t position)
{
    return static_cast<std::int32_t>(std::min(position, kMaxBitPosition));
}

// Keeps a range at least one unit wide so that mapping never divides by
// zero. A minimum of INT32_MAX cannot be widened and is left as declared
// rather than wrapping the maximum to INT32_MIN.
void widenToOneUnit(std::int32_t minimum, std::int32_t& maximum)
{
    if (minimum < std::numeric_limits<std::int32_t>::max() && maximum < minimum + 1)
        maximum = minimum + 1;
}

class DescriptorWalk {
public:
    explicit DescriptorWalk(TouchLayout& layout) : m_layout(layout)
    {
        std::fill(std::begin(m_positions), std::end(m_positions), kUnset);
    }

    void run(const std::uint8_t* bytes, std::size_t length)
    {
        std::size_t index = 0;
        while (index < length) {
            const std::uint8_t prefix = bytes[index];
            if (prefix == 0xFE) {
                // Long item: prefix, data size, tag, data. Nothing in it is used.
                if (length - index < 3)
                    return;
                const std::size_t end = index + 3 + bytes[index + 1];
                if (end >= length)
                    return;
                index = end;
                continue;
            }
            const std::uint8_t sizeCode = prefix & 0x03;
            const std::size_t size = sizeCode == 3 ? 4 : sizeCode;
            const int type = (prefix >> 2) & 0x03;
            const int tag = (prefix >> 4) & 0x0F;
            std::uint32_t unsignedValue = 0;
            bool truncated = false;
            for (std::size_t i = 0; i < size; ++i) {
                const std::size_t at = index + 1 + i;
                if (at >= length) {
                    truncated = true;
                    break;
                }
                unsignedValue |= std::uint32_t(bytes[at]) << (8 * i);
            }
            std::int32_t signedValue = 0;
            if (size == 1)
                signedValue = static_cast<std::int8_t>(unsignedValue & 0xFF);
            else if (size == 2)
                signedValue = static_cast<std::int16_t>(unsignedValue & 0xFFFF);
            else if (size == 4)
                signedValue = static_cast<std::int32_t>(unsignedValue);

            if (type == MainItem)
                mainItem(tag);
            else if (type == GlobalItem)
                globalItem(tag, unsignedValue, signedValue);
            else if (type == LocalItem)
                localItem(tag, unsignedValue);

            if (truncated)
                return;
            index += 1 + size;
        }
    }

    void finish()
    {
        if (m_layout.contactCount >= 1 && m_chosenReportID != kUnset) {
            m_layout.valid = true;
            m_layout.reportID = static_cast<std::uint8_t>(m_chosenReportID & 0xFF);
        }
    }

private:
    bool insideContactCollection() const { return m_insideFinger || m_insidePen; }

    void globalItem(int tag, std::uint32_t unsignedValue, std::int32_t signedValue)
    {
        switch (tag) {
        case UsagePageTag:
            m_usagePage = unsignedValue;
            break;
        case LogicalMinimumTag:
            m_logicalMinimum = signedValue;
            break;
        case LogicalMaximumTag:
            m_logicalMaximum = signedValue;
            break;
        case ReportSizeTag:
            m_reportSize = unsignedValue;
            break;
        case ReportIDTag:
            m_reportID = unsignedValue;
            // The report ID byte comes first in every report of that ID.
            if (unsignedValue < kReportIDCount)
                m_positions[unsignedValue] = 8;
            break;
        case ReportCountTag:
            m_reportCount = unsignedValue;
            break;
        default:
            break;
        }
    }

    void localItem(int tag, std::uint32_t unsignedValue)
    {
        switch (tag) {
        case UsageTag:
            if (m_usageCount < kMaxUsages)
                m_usages[m_usageCount++] = Usage{m_usagePage, unsignedValue};
            break;
        case UsageMinimumTag:
            m_usageMinimum = Usage{m_usagePage, unsignedValue};
            m_usageMinimumSeen = true;
            break;
        case UsageMaximumTag:
            m_usageMaximum = Usage{m_usagePage, unsignedValue};
            m_usageMaximumSeen = true;
            break;
        default:
            break;
        }
    }

    void mainItem(int tag)
    {
        if (tag == InputTag)
            inputItem();
        else if (tag == CollectionTag)
            collectionItem();
        else if (tag == EndCollectionTag)
            endCollectionItem();
        m_usageCount = 0;
        m_usageMinimumSeen = false;
        m_usageMaximumSeen = false;
    }

    std::int64_t* currentPosition()
    {
        return m_reportID < kReportIDCount ? &m_positions[m_reportID] : nullptr;
    }

    // start + Report Size x fields, saturating (both factors are 32-bit, so
    // their product fits 64 unsigned bits).
    std::int64_t advancedPosition(std::int64_t start, std::uint64_t fields) const
    {
        const std::uint64_t bits = std::uint64_t(m_reportSize) * fields;
        if (bits >= std::uint64_t(kMaxBitPosition - start))
            return kMaxBitPosition;
        return start + std::int64_t(bits);
    }

    void inputItem()
    {
        if (m_reportID == kUnset)
            return;
        std::int64_t* running = currentPosition();
        const std::int64_t start = (running && *running != kUnset) ? *running : 8;
        const std::int64_t next = advancedPosition(start, m_reportCount);

        if (insideContactCollection() || m_reportID == m_chosenReportID)
            assignFields(start);

        if (running)
            *running = next;
    }

    // Gives each field of the current Input item its usage and applies the
    // ones that matter. Only fields that can carry a usage are visited, so a
    // huge Report Count costs nothing.
    void assignFields(std::int64_t start)
    {
        const std::uint64_t fieldCount = std::max<std::uint64_t>(m_reportCount, 1);
        const std::uint64_t listed = std::uint64_t(m_usageCount);
        const auto fieldStart = [&](std::uint64_t i) { return advancedPosition(start, i); };

        if (listed == m_reportCount && listed > 0) {
            for (std::uint64_t i = 0; i < listed; ++i)
                applyField(m_usages[i], fieldStart(i));
            return;
        }
        if (m_reportCount >= 2 && listed == 1) {
            // Every field has the one usage; the last one overwrites the others.
            applyField(m_usages[0], fieldStart(fieldCount - 1));
            return;
        }
        const bool rangeUsable = m_usageMinimumSeen && m_usageMaximumSeen
            && m_usageMinimum.page == m_usageMaximum.page && m_usageMaximum.id >= m_usageMinimum.id;
        std::uint64_t firstListed = 0;
        if (rangeUsable) {
            const std::uint64_t rangeSize = std::uint64_t(m_usageMaximum.id) - m_usageMinimum.id + 1;
            const std::uint64_t inRange = std::min(rangeSize, fieldCount);
            for (std::uint64_t i = 0; i < inRange; ++i) {
                const std::uint64_t id = std::uint64_t(m_usageMinimum.id) + i;
                if (id > kHighestRecognisedUsage)
                    break;
                applyField(Usage{m_usageMinimum.page, std::uint32_t(id)}, fieldStart(i));
            }
            firstListed = rangeSize;
        }
        const std::uint64_t listedEnd = std::min(listed, fieldCount);
        for (std::uint64_t i = firstListed; i < listedEnd; ++i)
            applyField(m_usages[i], fieldStart(i));
    }

    void applyField(const Usage& usage, std::int64_t position)
    {
        const std::int32_t offset = clampedPosition(position);
        const std::int32_t size = static_cast<std::int32_t>(m_reportSize);
        if (!insideContactCollection()) {
            if (usage.page == HidUsage::DigitizerPage && usage.id == HidUsage::ContactCount) {
                m_layout.contactCountBitOffset = offset;
                m_layout.contactCountBitLength = size;
                m_layout.hasContactCount = true;
            }
            return;
        }
        TouchSlotLayout& slot = m_slot;
        if (usage.page == HidUsage::GenericDesktopPage) {
            if (usage.id == HidUsage::X) {
                slot.xBitOffset = offset;
                slot.xBitLength = size;
                slot.xLogicalMinimum = m_logicalMinimum;
                slot.xLogicalMaximum = m_logicalMaximum;
            } else if (usage.id == HidUsage::Y) {
                slot.yBitOffset = offset;
                slot.yBitLength = size;
                slot.yLogicalMinimum = m_logicalMinimum;
                slot.yLogicalMaximum = m_logicalMaximum;
            }
            return;
        }
        if (usage.page != HidUsage::DigitizerPage)
            return;
        switch (usage.id) {
        case HidUsage::TipSwitch:
            slot.tipSwitchBitOffset = offset;
            break;
        case HidUsage::InRange:
            slot.inRangeBitOffset = offset;
            break;
        case HidUsage::TouchValid:
            slot.touchValidBitOffset = offset;
            break;
        case HidUsage::Invert:
            slot.invertBitOffset = offset;
            break;
        case HidUsage::Eraser:
            slot.eraserBitOffset = offset;
            break;
        case HidUsage::ContactIdentifier:
            slot.contactIdBitOffset = offset;
            slot.contactIdBitLength = size;
            break;
        case HidUsage::Width:
            slot.widthBitOffset = offset;
            slot.widthBitLength = size;
            break;
        case HidUsage::Height:
            slot.heightBitOffset = offset;
            slot.heightBitLength = size;
            break;
        default:
            break;
        }
    }

    void collectionItem()
    {
        if (m_usageCount == 0)
            return;
        const Usage& last = m_usages[m_usageCount - 1];
        if (last.page != HidUsage::DigitizerPage)
            return;
        const bool finger = last.id == HidUsage::Finger;
        const bool pen = last.id == HidUsage::Stylus || last.id == HidUsage::Pen;
        if (!finger && !pen)
            return;
        // Only the first report that opens a contact collection is followed.
        if (m_reportID == kUnset || (m_chosenReportID != kUnset && m_reportID != m_chosenReportID))
            return;
        m_slot = TouchSlotLayout{};
        m_chosenReportID = m_reportID;
        if (finger) {
            m_slot.preferredKind = ContactKindFinger;
            m_insideFinger = true;
            m_layout.hasFingerCollection = true;
        } else {
            m_slot.preferredKind = ContactKindPen;
            m_insidePen = true;
            m_layout.hasPenCollection = true;
        }
    }

    void endCollectionItem()
    {
        if (!insideContactCollection())
            return;
        m_insideFinger = false;
        m_insidePen = false;
        if (m_layout.contactCount >= kMaxTouchSlots)
            return;
        const TouchSlotLayout& slot = m_slot;
        if (slot.tipSwitchBitOffset < 0 || slot.contactIdBitOffset < 0 || slot.xBitOffset < 0 || slot.yBitOffset < 0) {
            m_slot = TouchSlotLayout{};
            return;
        }
        TouchSlotLayout& built = m_layout.contacts[m_layout.contactCount];
        built = slot;
        built.slot = m_layout.contactCount;
        widenToOneUnit(built.xLogicalMinimum, built.xLogicalMaximum);
        widenToOneUnit(built.yLogicalMinimum, built.yLogicalMaximum);
        ++m_layout.contactCount;
        m_layout.hasLogicalRanges = true;
        m_layout.hasTouchValid |= built.touchValidBitOffset >= 0;
        m_layout.hasInRange |= built.inRangeBitOffset >= 0;
        m_layout.hasInvert |= built.invertBitOffset >= 0;
        m_layout.hasEraser |= built.eraserBitOffset >= 0;
        m_layout.hasWidth |= built.widthBitOffset >= 0;
        m_layout.hasHeight |= built.heightBitOffset >= 0;
        m_slot = TouchSlotLayout{};
    }

    TouchLayout& m_layout;

    // Global state.
    std::uint32_t m_usagePage = 0;
    std::int32_t m_logicalMinimum = 0;
    std::int32_t m_logicalMaximum = 0;
    std::uint32_t m_reportSize = 0;
    std::int64_t m_reportID = kUnset;
    std::uint32_t m_reportCount = 0;

    // Local state.
    Usage m_usages[kMaxUsages]{};
    int m_usageCount = 0;
    Usage m_usageMinimum{};
    Usage m_usageMaximum{};
    bool m_usageMinimumSeen = false;
    bool m_usageMaximumSeen = false;

    std::int64_t m_positions[kReportIDCount];
    std::int64_t m_chosenReportID = kUnset;
    bool m_insideFinger = false;
    bool m_insidePen = false;
    TouchSlotLayout m_slot{};
};

} // namespace

TouchLayout parseReportDescriptor(const std::uint8_t* bytes, std::size_t length)
{
    TouchLayout layout{};
    if (!bytes || length == 0)
        return layout;
    DescriptorWalk walk(layout);
    walk.run(bytes, length);
    walk.finish();
    return layout;
}
