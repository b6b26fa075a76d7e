// Descriptors and recordings of real touch screens and pens, read from the
// shared data folder at run time, with field positions derived by an
// independent parser: every contact collection of the touch report must
// become a slot (up to eight) with its fields where the derived facts put
// them, and the recorded reports must decode to the derived contacts.
#include "tests/touch/RealDescriptorData.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using realdata::touchReport;

namespace {

// Compares one field's position. A field of a repeated usage (one Usage for
// a Report Count of two) is taken from its later copy by the rules and from
// its first by the derived facts; the devices that do this send the value
// twice, so one field later counts as agreeing and is tallied apart.
void compareField(QStringList& mismatches, int& laterCopies, const QString& where, const QJsonObject& derived,
                  const char* key, std::int32_t offset, std::int32_t length)
{
    const QJsonArray bits = derived.value(QLatin1String(key)).toArray();
    const std::int32_t expectedOffset = bits.isEmpty() ? -1 : bits.at(0).toInt();
    const std::int32_t expectedLength = bits.isEmpty() ? 0 : bits.at(1).toInt();
    if (expectedOffset >= 0 && length == expectedLength && offset == expectedOffset + expectedLength)
        ++laterCopies;
    else if (offset != expectedOffset || length != expectedLength)
        mismatches << QStringLiteral("%1 %2: %3:%4, derived %5:%6").arg(where, QLatin1String(key)).arg(offset).arg(length)
                          .arg(expectedOffset).arg(expectedLength);
}

bool isTouchReport(const QByteArray& bytes, const TouchLayout& layout)
{
    return !bytes.isEmpty() && (layout.reportIDByteOffset < 0 || std::uint8_t(bytes.at(0)) == layout.reportID);
}

class RealDescriptors : public realdata::SharedDataTest {};

} // namespace

TEST_F(RealDescriptors, EveryContactCollectionOfTheTouchReportIsASlot)
{
    QStringList mismatches;
    int devices = 0, comparedSlots = 0, laterCopies = 0;
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const QJsonArray derived = touchReport(device).value("slots").toArray();
        const TouchLayout layout = realdata::layoutOf(device);
        const QString key = device.value("key").toString();
        if (derived.isEmpty()) {
            if (layout.valid)
                mismatches << key + QStringLiteral(": a layout without a touch report");
            continue;
        }
        ++devices;
        const int reportID = touchReport(device).value("report_id").toInt();
        const bool sameReport = reportID < 0 ? layout.reportIDByteOffset == -1
                                             : layout.reportIDByteOffset == 0 && layout.reportID == reportID;
        const int expectedSlots = std::min<int>(int(derived.size()), kMaxTouchSlots);
        if (!layout.valid || !sameReport || layout.contactCount != expectedSlots
            || layout.contactCollectionCount != derived.size()) {
            mismatches << QStringLiteral("%1: valid %2, report %3 (offset %4), %5 slots of %6 collections; derived report "
                                         "%7, %8 collections")
                              .arg(key).arg(layout.valid).arg(layout.reportID).arg(layout.reportIDByteOffset)
                              .arg(layout.contactCount).arg(layout.contactCollectionCount).arg(reportID).arg(derived.size());
            continue;
        }
        for (int s = 0; s < layout.contactCount; ++s) {
            const TouchSlotLayout& slot = layout.contacts[s];
            const QJsonObject facts = derived.at(s).toObject();
            const QString where = QStringLiteral("%1 slot %2").arg(key).arg(s);
            compareField(mismatches, laterCopies, where, facts, "tip_switch_bits", slot.tipSwitchBitOffset, 1);
            compareField(mismatches, laterCopies, where, facts, "contact_id_bits", slot.contactIdBitOffset, slot.contactIdBitLength);
            compareField(mismatches, laterCopies, where, facts, "x_bits", slot.xBitOffset, slot.xBitLength);
            compareField(mismatches, laterCopies, where, facts, "y_bits", slot.yBitOffset, slot.yBitLength);
            compareField(mismatches, laterCopies, where, facts, "width_bits", slot.widthBitOffset, slot.widthBitLength);
            compareField(mismatches, laterCopies, where, facts, "height_bits", slot.heightBitOffset, slot.heightBitLength);
            const bool pen = facts.value("collection").toString() == QLatin1String("STYLUS");
            if (pen != (slot.preferredKind == ContactKindPen))
                mismatches << where + QStringLiteral(": kind ") + QString::number(slot.preferredKind);
            ++comparedSlots;
        }
        const QJsonArray countBits = device.value("summary").toObject().value("contact_count_bits").toArray();
        if (!countBits.isEmpty() || layout.hasContactCount)
            compareField(mismatches, laterCopies, key, QJsonObject{{"contact_count_bits", countBits}}, "contact_count_bits",
                         layout.contactCountBitOffset, layout.contactCountBitLength);
    }
    std::printf("%d devices, %d slots compared, %d fields taken from the later copy of a repeated usage\n", devices,
                comparedSlots, laterCopies);
    EXPECT_EQ(devices, 105);
    EXPECT_GT(comparedSlots, 400);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join('\n').toStdString();
}

// The selected samples of the recordings give exactly the contacts of the
// derived field values: a collection is down when its Tip Switch (and In
// Range, Touch Valid where the slot has them) is set. Every recorded report
// goes through the bridge in the replay test.
TEST_F(RealDescriptors, RecordingsDecodeToTheDerivedContacts)
{
    const QJsonObject samples = realdata::readJson(m_folder + "/decoded_samples.json").object();
    QStringList mismatches;
    int comparedContacts = 0;
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const QString key = device.value("key").toString();
        const TouchLayout layout = realdata::layoutOf(device);
        const QJsonObject deviceSamples = samples.value(key).toObject().value("samples").toObject();
        for (auto it = deviceSamples.begin(); it != deviceSamples.end(); ++it) {
            const QByteArray bytes = QByteArray::fromHex(it.value().toObject().value("report_hex").toString().toLatin1());
            const QString where = QStringLiteral("%1 %2").arg(key, it.key());
            const TouchContactList list = TouchReportDecoder(layout).contactsFromReport(realdata::data(bytes), std::size_t(bytes.size()));
            if (!isTouchReport(bytes, layout)) {
                if (list.count != 0)
                    mismatches << where + QStringLiteral(": contacts from another report");
                continue;
            }
            const QJsonArray fields = it.value().toObject().value("decoded").toObject().value("slots").toArray();
            int next = 0;
            for (int s = 0; s < layout.contactCount && s < fields.size(); ++s) {
                const TouchSlotLayout& slot = layout.contacts[s];
                const QJsonObject field = fields.at(s).toObject();
                // A flag the sample leaves out (a usage on a constant field) does not count.
                const bool down = field.value("tip_switch").toInt() == 1
                    && (slot.inRangeBitOffset < 0 || field.value("in_range").toInt(1) == 1)
                    && (slot.touchValidBitOffset < 0 || field.value("touch_valid").toInt(1) == 1);
                const bool decoded = next < list.count && list.contacts[next].slot == s;
                const TouchContact contact = decoded ? list.contacts[next++] : TouchContact{};
                comparedContacts += decoded ? 1 : 0;
                if (down != decoded || (decoded && (contact.rawX != std::uint32_t(field.value("x").toDouble())
                                                    || contact.rawY != std::uint32_t(field.value("y").toDouble())
                                                    || contact.contactID != std::uint8_t(field.value("contact_id").toInt()))))
                    mismatches << QStringLiteral("%1 slot %2: down %3, decoded %4, id %5 x %6 y %7").arg(where).arg(s).arg(down)
                                      .arg(decoded).arg(contact.contactID).arg(contact.rawX).arg(contact.rawY);
            }
        }
    }
    std::printf("%d sample contacts compared\n", comparedContacts);
    EXPECT_GT(comparedContacts, 300);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join('\n').toStdString();
}

// How far the rules reach on real devices: run with
//   --gtest_filter=RealDescriptors.CoverageTable
// to print one line per device and the totals by slots built and contacts.
TEST_F(RealDescriptors, CoverageTable)
{
    QMap<QString, int> totals;
    int valid = 0;
    std::printf("%-36s %-16s %5s %6s %6s %11s %8s  %s\n", "device", "kind", "valid", "report", "slots",
                "collections", "max", "note");
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const TouchLayout layout = realdata::layoutOf(device);
        const int collections = touchReport(device).value("contact_collections").toInt(0);
        const int published = device.value("summary").toObject().value("max_contacts_published").toInt(0);
        const int realContacts = std::max(published, collections);
        QString note;
        if (!layout.valid)
            note = QStringLiteral("no valid layout");
        else if (layout.contactCount < std::min(collections, kMaxTouchSlots))
            note = QStringLiteral("valid, collections missed");
        else if (layout.contactCount < collections)
            note = QStringLiteral("valid, 8 slots of more collections");
        else if (realContacts > collections && layout.hasContactCount)
            note = QStringLiteral("valid, every collection; more contacts in hybrid frames");
        else if (realContacts > collections)
            note = QStringLiteral("valid, every collection; more contacts, no Contact Count");
        else
            note = QStringLiteral("valid, a slot for every contact");
        valid += layout.valid ? 1 : 0;
        ++totals[note];
        const int report = !layout.valid ? -2 : layout.reportIDByteOffset < 0 ? -1 : int(layout.reportID);
        std::printf("%-36s %-16s %5s %6d %6d %11d %8s  %s\n", qPrintable(device.value("key").toString().left(36)),
                    qPrintable(device.value("kind").toString()), layout.valid ? "yes" : "no", report,
                    layout.contactCount, collections, published > 0 ? qPrintable(QString::number(published)) : "-",
                    qPrintable(note));
    }
    std::printf("\n%d of %lld descriptors give a valid layout (report -1: reports without ID)\n", valid,
                static_cast<long long>(m_devices.size()));
    for (auto it = totals.begin(); it != totals.end(); ++it)
        std::printf("  %-56s %d\n", qPrintable(it.key()), it.value());
    EXPECT_GT(valid, 0);
}
