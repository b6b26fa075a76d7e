#include "touch/ReportDescriptorParser.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

constexpr int kMaxUsages = 64;
constexpr int kReportIDCount = 256;
// The reports of a descriptor that declares no Report ID get this index.
constexpr int kUnnumberedReport = kReportIDCount;
constexpr int kReportIndexCount = kReportIDCount + 1;
constexpr int kGlobalStackDepth = 16;
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
enum GlobalTag {
    UsagePageTag = 0,
    LogicalMinimumTag = 1,
    LogicalMaximumTag = 2,
    ReportSizeTag = 7,
    ReportIDTag = 8,
    ReportCountTag = 9,
    PushTag = 10,
    PopTag = 11,
};
enum LocalTag { UsageTag = 0, UsageMinimumTag = 1, UsageMaximumTag = 2 };

struct Usage {
    std::uint32_t page = 0;
    std::uint32_t id = 0;
};

struct GlobalState {
    std::uint32_t usagePage = 0;
    std::int32_t logicalMinimum = 0;
    std::int32_t logicalMaximum = 0;
    std::uint32_t reportSize = 0;
    std::int64_t reportID = kUnset;
    std::uint32_t reportCount = 0;
};

// How many complete contact collections each report holds, found by a first
// walk so that the second can take every one of them, wherever the touch
// report's fields and its Contact Count lie.
struct ReportSurvey {
    std::int32_t fingerCollections[kReportIndexCount]{};
    std::int32_t penCollections[kReportIndexCount]{};
    // Order in which each report showed its first contact collection.
    std::int32_t firstSeen[kReportIndexCount]{};
    std::int32_t seen = 0;
    bool hasFingerCollection = false;
    bool hasPenCollection = false;

    void count(int report, bool pen)
    {
        if (fingerCollections[report] == 0 && penCollections[report] == 0)
            firstSeen[report] = ++seen;
        ++(pen ? penCollections : fingerCollections)[report];
    }

    // The report with the most finger collections (any contact collection
    // that is not a pen's), else the one with the most pen collections;
    // on a tie the report that showed one first. -1 when there is none.
    int touchReport() const
    {
        const int fingers = best(fingerCollections);
        return fingers >= 0 ? fingers : best(penCollections);
    }

private:
    int best(const std::int32_t (&counts)[kReportIndexCount]) const
    {
        int chosen = -1;
        for (int r = 0; r < kReportIndexCount; ++r) {
            if (counts[r] == 0)
                continue;
            if (chosen < 0 || counts[r] > counts[chosen]
                || (counts[r] == counts[chosen] && firstSeen[r] < firstSeen[chosen]))
                chosen = r;
        }
        return chosen;
    }
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

// One pass over the descriptor. A survey walk counts the complete contact
// collections of every report; a build walk takes the fields of one report,
// the touch report, into the layout.
class DescriptorWalk {
public:
    // Survey: fields of every report count, nothing is built.
    DescriptorWalk(TouchLayout& layout, ReportSurvey& survey) : m_layout(layout), m_survey(&survey) { clearPositions(); }
    // Build: every contact collection of touchReport becomes a slot.
    DescriptorWalk(TouchLayout& layout, int touchReport) : m_layout(layout), m_touchReport(touchReport) { clearPositions(); }

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
        if (m_survey || m_layout.contactCount < 1)
            return;
        m_layout.valid = true;
        if (m_touchReport == kUnnumberedReport) {
            m_layout.reportID = 0;
            m_layout.reportIDByteOffset = -1;
        } else {
            m_layout.reportID = static_cast<std::uint8_t>(m_touchReport);
        }
    }

private:
    void clearPositions() { std::fill(std::begin(m_positions), std::end(m_positions), kUnset); }

    // The current report as an index into the tables: its ID, the unnumbered
    // report before any Report ID, -1 for an ID above 255 (no device can
    // send it, so it is refused rather than cut to its low byte).
    int reportIndex() const
    {
        if (m_global.reportID == kUnset)
            return kUnnumberedReport;
        return m_global.reportID < kReportIDCount ? int(m_global.reportID) : -1;
    }

    bool takesFieldsOf(int report) const { return report >= 0 && (m_survey || report == m_touchReport); }

    void globalItem(int tag, std::uint32_t unsignedValue, std::int32_t signedValue)
    {
        switch (tag) {
        case UsagePageTag:
            m_global.usagePage = unsignedValue;
            break;
        case LogicalMinimumTag:
            m_global.logicalMinimum = signedValue;
            break;
        case LogicalMaximumTag:
            m_global.logicalMaximum = signedValue;
            break;
        case ReportSizeTag:
            m_global.reportSize = unsignedValue;
            break;
        case ReportIDTag:
            m_global.reportID = unsignedValue;
            // The report ID byte comes first in every report of that ID.
            if (unsignedValue < kReportIDCount)
                m_positions[unsignedValue] = 8;
            break;
        case ReportCountTag:
            m_global.reportCount = unsignedValue;
            break;
        case PushTag:
            // Deeper pushes than any real descriptor needs are dropped, and
            // so are their pops, so the rest keeps its balance.
            if (m_stackDepth < kGlobalStackDepth)
                m_stack[m_stackDepth] = m_global;
            ++m_stackDepth;
            break;
        case PopTag:
            if (m_stackDepth > 0 && --m_stackDepth < kGlobalStackDepth)
                m_global = m_stack[m_stackDepth];
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
                m_usages[m_usageCount++] = Usage{m_global.usagePage, unsignedValue};
            break;
        case UsageMinimumTag:
            m_usageMinimum = Usage{m_global.usagePage, unsignedValue};
            m_usageMinimumSeen = true;
            break;
        case UsageMaximumTag:
            m_usageMaximum = Usage{m_global.usagePage, unsignedValue};
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

    // start + Report Size x fields, saturating (both factors are 32-bit, so
    // their product fits 64 unsigned bits).
    std::int64_t advancedPosition(std::int64_t start, std::uint64_t fields) const
    {
        const std::uint64_t bits = std::uint64_t(m_global.reportSize) * fields;
        if (bits >= std::uint64_t(kMaxBitPosition - start))
            return kMaxBitPosition;
        return start + std::int64_t(bits);
    }

    void inputItem()
    {
        const int report = reportIndex();
        if (report < 0)
            return;
        std::int64_t& running = m_positions[report];
        // Unnumbered reports have no ID byte in front.
        const std::int64_t first = report == kUnnumberedReport ? 0 : 8;
        const std::int64_t start = running != kUnset ? running : first;
        const std::int64_t next = advancedPosition(start, m_global.reportCount);

        if (insideContactCollection() ? takesFieldsOf(report) : (!m_survey && report == m_touchReport))
            assignFields(start, report);

        running = next;
    }

    // Gives each field of the current Input item its usage and applies the
    // ones that matter. Only fields that can carry a usage are visited, so a
    // huge Report Count costs nothing.
    void assignFields(std::int64_t start, int report)
    {
        const std::uint32_t reportCount = m_global.reportCount;
        const std::uint64_t fieldCount = std::max<std::uint64_t>(reportCount, 1);
        const std::uint64_t listed = std::uint64_t(m_usageCount);
        const auto fieldStart = [&](std::uint64_t i) { return advancedPosition(start, i); };

        if (listed == reportCount && listed > 0) {
            for (std::uint64_t i = 0; i < listed; ++i)
                applyField(m_usages[i], fieldStart(i), report);
            return;
        }
        if (reportCount >= 2 && listed == 1) {
            // Every field has the one usage; the last one overwrites the others.
            applyField(m_usages[0], fieldStart(fieldCount - 1), report);
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
                applyField(Usage{m_usageMinimum.page, std::uint32_t(id)}, fieldStart(i), report);
            }
            firstListed = rangeSize;
        }
        const std::uint64_t listedEnd = std::min(listed, fieldCount);
        for (std::uint64_t i = firstListed; i < listedEnd; ++i)
            applyField(m_usages[i], fieldStart(i), report);
    }

    void applyField(const Usage& usage, std::int64_t position, int report)
    {
        const std::int32_t offset = clampedPosition(position);
        const std::int32_t size = static_cast<std::int32_t>(m_global.reportSize);
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
                slot.xLogicalMinimum = m_global.logicalMinimum;
                slot.xLogicalMaximum = m_global.logicalMaximum;
            } else if (usage.id == HidUsage::Y) {
                slot.yBitOffset = offset;
                slot.yBitLength = size;
                slot.yLogicalMinimum = m_global.logicalMinimum;
                slot.yLogicalMaximum = m_global.logicalMaximum;
            }
            return;
        }
        if (usage.page != HidUsage::DigitizerPage)
            return;
        switch (usage.id) {
        case HidUsage::TipSwitch:
            slot.tipSwitchBitOffset = offset;
            m_slotReport = report;
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

    void beginSlot(std::int64_t kind)
    {
        m_slot = TouchSlotLayout{};
        m_slot.preferredKind = kind;
        m_slotReport = -1;
        m_insideContact = true;
    }

    // A Finger, Stylus or Pen collection opens a contact, at any depth and
    // also inside another one. Displays also put contacts in collections
    // without a usage or with one on another page: any collection below the
    // top level that opens outside a contact is one when it ends up holding
    // the contact fields.
    void collectionItem()
    {
        const int depth = m_depth++;
        std::int64_t kind = ContactKindNone;
        if (m_usageCount > 0) {
            const Usage& last = m_usages[m_usageCount - 1];
            if (last.page == HidUsage::DigitizerPage) {
                if (last.id == HidUsage::Finger)
                    kind = ContactKindFinger;
                else if (last.id == HidUsage::Stylus || last.id == HidUsage::Pen)
                    kind = ContactKindPen;
            }
        }
        if (kind != ContactKindNone) {
            noteNamedCollection(kind == ContactKindPen);
            beginSlot(kind);
        } else if (depth >= 1 && !insideContactCollection()) {
            beginSlot(ContactKindFinger);
        }
    }

    void noteNamedCollection(bool pen)
    {
        bool& flag = pen ? m_layout.hasPenCollection : m_layout.hasFingerCollection;
        if (m_survey)
            (pen ? m_survey->hasPenCollection : m_survey->hasFingerCollection) = true;
        else if (reportIndex() == m_touchReport)
            flag = true;
    }

    // Any End Collection inside a contact ends it, so a nested collection
    // (X and Y in a physical collection of their own) ends it early.
    void endCollectionItem()
    {
        if (m_depth > 0)
            --m_depth;
        if (!insideContactCollection())
            return;
        m_insideContact = false;
        const TouchSlotLayout& slot = m_slot;
        // A pen has one contact; it needs no Contact Identifier (it reads 0).
        const bool complete = slot.tipSwitchBitOffset >= 0 && slot.xBitOffset >= 0 && slot.yBitOffset >= 0
            && (slot.contactIdBitOffset >= 0 || slot.preferredKind == ContactKindPen);
        if (!complete)
            return;
        if (m_survey) {
            if (m_slotReport >= 0)
                m_survey->count(m_slotReport, slot.preferredKind == ContactKindPen);
            return;
        }
        ++m_layout.contactCollectionCount;
        if (m_layout.contactCount >= kMaxTouchSlots)
            return;
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
    }

    bool insideContactCollection() const { return m_insideContact; }

    TouchLayout& m_layout;
    ReportSurvey* m_survey = nullptr;
    int m_touchReport = -1;

    GlobalState m_global;
    GlobalState m_stack[kGlobalStackDepth]{};
    int m_stackDepth = 0;

    // Local state.
    Usage m_usages[kMaxUsages]{};
    int m_usageCount = 0;
    Usage m_usageMinimum{};
    Usage m_usageMaximum{};
    bool m_usageMinimumSeen = false;
    bool m_usageMaximumSeen = false;

    std::int64_t m_positions[kReportIndexCount];
    int m_depth = 0;
    bool m_insideContact = false;
    TouchSlotLayout m_slot{};
    // The report of the slot's Tip Switch, which names the report a contact
    // collection belongs to.
    int m_slotReport = -1;
};

} // namespace

TouchLayout parseReportDescriptor(const std::uint8_t* bytes, std::size_t length)
{
    TouchLayout layout{};
    if (!bytes || length == 0)
        return layout;
    ReportSurvey survey;
    DescriptorWalk surveyWalk(layout, survey);
    surveyWalk.run(bytes, length);

    layout = TouchLayout{};
    const int touchReport = survey.touchReport();
    if (touchReport < 0) {
        // Nothing to build; say what the walk found for the diagnostics.
        layout.hasFingerCollection = survey.hasFingerCollection;
        layout.hasPenCollection = survey.hasPenCollection;
        return layout;
    }
    DescriptorWalk walk(layout, touchReport);
    walk.run(bytes, length);
    walk.finish();
    return layout;
}
