#pragma once
// Builds the input reports a display with a given layout would send for a
// set of contacts: the inverse of the decoder, for tests that drive the
// pipeline with any descriptor.
#include "touch/TouchTypes.h"

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <vector>

namespace touchtest {

struct EncodedContact {
    int id = 0;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
};

class ReportEncoder {
public:
    explicit ReportEncoder(const TouchLayout& layout) : m_layout(layout) {}

    // The reports of one frame. More contacts than slots: as many reports as
    // needed, the count in the first and 0 in the others (the common hybrid
    // style). Without a Contact Count and with one slot: one report per
    // contact. Lifted contacts (tip up) are sent with `down` false.
    QList<QByteArray> frame(const std::vector<EncodedContact>& contacts, bool down = true) const
    {
        const int perReport = std::max(1, m_layout.contactCount);
        QList<QByteArray> reports;
        const int total = int(contacts.size());
        for (int first = 0; first < total || (first == 0 && total == 0); first += perReport) {
            QByteArray report = empty();
            for (int s = 0; s < perReport && first + s < total; ++s)
                writeContact(report, m_layout.contacts[s], contacts[std::size_t(first + s)], down);
            if (m_layout.hasContactCount)
                write(report, m_layout.contactCountBitOffset, m_layout.contactCountBitLength,
                      first == 0 && down ? std::uint32_t(total) : 0);
            reports << report;
            if (total == 0)
                break;
        }
        return reports;
    }

private:
    TouchLayout m_layout;

    int lengthInBytes() const
    {
        std::int64_t end = m_layout.contactCountBitOffset + m_layout.contactCountBitLength;
        for (int s = 0; s < m_layout.contactCount; ++s) {
            const TouchSlotLayout& slot = m_layout.contacts[s];
            for (auto [offset, length] : {std::pair{slot.tipSwitchBitOffset, 1}, {slot.inRangeBitOffset, 1},
                                          {slot.touchValidBitOffset, 1}, {slot.contactIdBitOffset, slot.contactIdBitLength},
                                          {slot.xBitOffset, slot.xBitLength}, {slot.yBitOffset, slot.yBitLength},
                                          {slot.widthBitOffset, slot.widthBitLength},
                                          {slot.heightBitOffset, slot.heightBitLength}})
                end = std::max<std::int64_t>(end, std::int64_t(offset) + length);
        }
        return int((end + 7) / 8);
    }

    QByteArray empty() const
    {
        QByteArray report(lengthInBytes(), '\0');
        if (m_layout.reportIDByteOffset >= 0)
            report[m_layout.reportIDByteOffset] = char(m_layout.reportID);
        return report;
    }

    static void write(QByteArray& report, std::int32_t offset, std::int32_t length, std::uint32_t value)
    {
        for (std::int32_t bit = 0; offset >= 0 && bit < std::min(length, 32); ++bit) {
            const std::int32_t at = offset + bit;
            char& byte = report[at / 8];
            byte = char((value >> bit) & 1 ? byte | (1 << (at % 8)) : byte & ~(1 << (at % 8)));
        }
    }

    static void writeContact(QByteArray& report, const TouchSlotLayout& slot, const EncodedContact& contact, bool down)
    {
        write(report, slot.tipSwitchBitOffset, 1, down ? 1 : 0);
        write(report, slot.inRangeBitOffset, 1, 1);
        write(report, slot.touchValidBitOffset, 1, 1);
        write(report, slot.contactIdBitOffset, slot.contactIdBitLength, std::uint32_t(contact.id));
        write(report, slot.xBitOffset, slot.xBitLength, contact.x);
        write(report, slot.yBitOffset, slot.yBitLength, contact.y);
    }
};

} // namespace touchtest
