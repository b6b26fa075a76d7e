#include "touch/DescriptorSummary.h"

#include "touch/ReportDecoder.h"

#include <QVariantList>

namespace {

QString bitsText(std::int32_t offset, std::int32_t length)
{
    return QStringLiteral("%1:%2").arg(offset).arg(length);
}

QVariantMap slotSummary(const TouchSlotLayout& slot)
{
    QVariantMap entry;
    entry.insert(QStringLiteral("slot"), slot.slot);
    entry.insert(QStringLiteral("preferred_kind"), QString(contactKindName(slot.preferredKind)));
    entry.insert(QStringLiteral("x_bits"), bitsText(slot.xBitOffset, slot.xBitLength));
    entry.insert(QStringLiteral("y_bits"), bitsText(slot.yBitOffset, slot.yBitLength));
    entry.insert(QStringLiteral("x_logical_min"), slot.xLogicalMinimum);
    entry.insert(QStringLiteral("x_logical_max"), slot.xLogicalMaximum);
    entry.insert(QStringLiteral("y_logical_min"), slot.yLogicalMinimum);
    entry.insert(QStringLiteral("y_logical_max"), slot.yLogicalMaximum);
    entry.insert(QStringLiteral("contact_id_bits"), bitsText(slot.contactIdBitOffset, slot.contactIdBitLength));
    entry.insert(QStringLiteral("tip_switch_bit"), slot.tipSwitchBitOffset);
    entry.insert(QStringLiteral("touch_valid_bit"), slot.touchValidBitOffset);
    entry.insert(QStringLiteral("in_range_bit"), slot.inRangeBitOffset);
    entry.insert(QStringLiteral("invert_bit"), slot.invertBitOffset);
    entry.insert(QStringLiteral("eraser_bit"), slot.eraserBitOffset);
    entry.insert(QStringLiteral("width_bits"), bitsText(slot.widthBitOffset, slot.widthBitLength));
    entry.insert(QStringLiteral("height_bits"), bitsText(slot.heightBitOffset, slot.heightBitLength));
    return entry;
}

} // namespace

QVariantMap descriptorSummary(const TouchLayout& layout)
{
    QVariantMap summary;
    if (!layout.valid)
        return summary;
    summary.insert(QStringLiteral("decoder"), QStringLiteral("hid_digitizer_descriptor_v2"));
    summary.insert(QStringLiteral("valid"), true);
    summary.insert(QStringLiteral("report_id"), uint(layout.reportID));
    summary.insert(QStringLiteral("report_id_byte_offset"), layout.reportIDByteOffset);
    summary.insert(QStringLiteral("contact_slots"), layout.contactCount);
    summary.insert(QStringLiteral("contact_count_bits"),
                   layout.hasContactCount ? bitsText(layout.contactCountBitOffset, layout.contactCountBitLength)
                                          : QStringLiteral("unavailable"));
    summary.insert(QStringLiteral("has_finger_collection"), layout.hasFingerCollection);
    summary.insert(QStringLiteral("has_pen_collection"), layout.hasPenCollection);
    summary.insert(QStringLiteral("has_contact_count"), layout.hasContactCount);
    summary.insert(QStringLiteral("has_touch_valid"), layout.hasTouchValid);
    summary.insert(QStringLiteral("has_in_range"), layout.hasInRange);
    summary.insert(QStringLiteral("has_invert"), layout.hasInvert);
    summary.insert(QStringLiteral("has_eraser"), layout.hasEraser);
    summary.insert(QStringLiteral("has_width"), layout.hasWidth);
    summary.insert(QStringLiteral("has_height"), layout.hasHeight);
    summary.insert(QStringLiteral("has_logical_ranges"), layout.hasLogicalRanges);
    summary.insert(QStringLiteral("hybrid_mode_possible"), (layout.contactCount >= 1 && layout.hasContactCount) ? 1 : 0);
    QVariantList contacts;
    const int slotTotal = qBound(0, layout.contactCount, kMaxTouchSlots);
    for (int i = 0; i < slotTotal; ++i)
        contacts.append(slotSummary(layout.contacts[i]));
    summary.insert(QStringLiteral("contacts"), contacts);
    return summary;
}

QString decoderStatusText(const TouchLayout& layout)
{
    return QStringLiteral("HidDigitizerDescriptor report=%1 contacts=%2").arg(uint(layout.reportID)).arg(layout.contactCount);
}
