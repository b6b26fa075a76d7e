#include "touch/TouchFrameAssembler.h"

#include "touch/ReportDecoder.h"

#include <algorithm>

void TouchFrameAssembler::setLayout(const TouchLayout& layout)
{
    // Without a count nothing says when a frame ends, so a one-slot display
    // that still knows more contacts can only be followed contact by contact.
    const TouchSlotLayout& slot = layout.contacts[0];
    m_tracksContacts = layout.valid && !layout.hasContactCount && layout.contactCollectionCount == 1
        && slot.contactIdBitOffset >= 0;
    m_idOffset = slot.contactIdBitOffset;
    m_idLength = slot.contactIdBitLength;
    reset();
}

void TouchFrameAssembler::reset()
{
    m_pending = false;
    m_frame = TouchContactList{};
}

bool TouchFrameAssembler::add(const TouchContactList& report, const std::uint8_t* bytes, std::size_t length)
{
    if (report.slotCount < 1)
        return false; // another report ID: not a frame
    return m_tracksContacts ? addTracked(report, bytes, length) : addHybrid(report);
}

void TouchFrameAssembler::append(const TouchContact& contact)
{
    if (m_frame.count < kMaxTouchSlots)
        m_frame.contacts[m_frame.count++] = contact;
}

bool TouchFrameAssembler::addHybrid(const TouchContactList& report)
{
    // A report that does not continue the frame in progress starts one; so
    // does a continuation whose start was handed on already.
    if (report.hybridOffset == 0 || !m_pending) {
        m_frame = report;
        m_frame.count = 0;
    }
    for (int i = 0; i < report.count; ++i)
        append(report.contacts[i]);
    m_pending = !report.complete;
    if (m_pending)
        return false;
    m_frame.hybridOffset = 0;
    m_frame.continuation = false;
    m_frame.complete = true;
    return true;
}

bool TouchFrameAssembler::addTracked(const TouchContactList& report, const std::uint8_t* bytes, std::size_t length)
{
    // The report speaks of one contact: down (it decoded) or lifted.
    const std::uint8_t id = report.count > 0 ? report.contacts[0].contactID
                                             : std::uint8_t(readBits(bytes, length, m_idOffset, m_idLength) & 0xFF);
    TouchContact* const begin = m_frame.contacts;
    TouchContact* const end = begin + m_frame.count;
    TouchContact* const known = std::find_if(begin, end, [id](const TouchContact& c) { return c.contactID == id; });
    if (report.count > 0 && known != end)
        *known = report.contacts[0];
    else if (report.count > 0)
        append(report.contacts[0]);
    else if (known != end)
        m_frame.count = std::int32_t(std::copy(known + 1, end, known) - begin);
    m_frame.frameContactCount = m_frame.count;
    m_frame.slotCount = report.slotCount;
    m_frame.complete = true;
    return true;
}

bool TouchFrameAssembler::flush()
{
    if (!m_pending)
        return false;
    m_pending = false;
    m_frame.hybridOffset = 0;
    m_frame.continuation = false;
    m_frame.complete = false;
    return true;
}
