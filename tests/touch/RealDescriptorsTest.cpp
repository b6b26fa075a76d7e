// Descriptors and recordings of real touch screens and pens, read from the
// shared data folder at run time, with field positions derived by an
// independent parser. The layouts built here are compared wherever a slot is
// built; devices the rules do not cover simply build fewer slots.
#include "touch/HidRecording.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

namespace {

QJsonDocument readJson(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
}

const std::uint8_t* data(const QByteArray& bytes) { return reinterpret_cast<const std::uint8_t*>(bytes.constData()); }
TouchLayout layoutOf(const QByteArray& descriptor) { return parseReportDescriptor(data(descriptor), std::size_t(descriptor.size())); }
QJsonObject touchFacts(const QJsonObject& device) { return device.value("derived_facts").toObject().value("touch_report").toObject(); }

// The derived contact collections of the layout's report (touch or pen), if any.
std::optional<QJsonArray> derivedSlots(const QJsonObject& device, const TouchLayout& layout)
{
    QJsonArray reports = device.value("derived_facts").toObject().value("pen_reports").toArray();
    reports.prepend(touchFacts(device));
    for (const QJsonValue& report : reports)
        if (report.toObject().value("report_id").toInt(-1) == layout.reportID)
            return report.toObject().value("slots").toArray();
    return std::nullopt;
}

// Index of the derived collection whose Tip Switch lies where the slot's does.
int derivedIndexFor(const TouchSlotLayout& slot, const QJsonArray& derived)
{
    for (qsizetype i = 0; i < derived.size(); ++i)
        if (derived.at(i).toObject().value("tip_switch_bits").toArray().at(0).toInt(-2) == slot.tipSwitchBitOffset)
            return int(i);
    return -1;
}

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

class RealDescriptors : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString shared = QString::fromLocal8Bit(qgetenv("VELOTAP_SHARED_DATA"));
#ifdef VELOTAP_DEFAULT_SHARED_DATA
        if (shared.isEmpty())
            shared = QStringLiteral(VELOTAP_DEFAULT_SHARED_DATA);
#endif
        m_folder = QDir(shared).filePath(QStringLiteral("real-descriptors"));
        if (shared.isEmpty() || !QFile::exists(m_folder + "/descriptors.json"))
            GTEST_SKIP() << "real descriptors not available (VELOTAP_SHARED_DATA)";
        m_devices = readJson(m_folder + "/descriptors.json").array();
        ASSERT_FALSE(m_devices.isEmpty());
    }

    QString m_folder;
    QJsonArray m_devices;
};

} // namespace

// Recordings carry the listed descriptor and decode to sane contacts; the
// slots built agree with the derived field positions and sample values.
TEST_F(RealDescriptors, LayoutsAndRecordingsAgreeWithDerivedFacts)
{
    const QJsonObject samples = readJson(m_folder + "/decoded_samples.json").object();
    QStringList mismatches;
    int comparedSlots = 0, laterCopies = 0, decodedReports = 0, comparedContacts = 0;
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const QString key = device.value("key").toString();
        const QByteArray descriptor = QByteArray::fromHex(device.value("descriptor_hex").toString().toLatin1());
        const TouchLayout layout = layoutOf(descriptor);
        const QString file = device.value("recording").toObject().value("file").toString();
        if (!file.isEmpty()) {
            QString error;
            const int ordinal = device.value("source").toObject().value("device_index_in_recording").toInt(0);
            const std::optional<HidRecording> recording = readHidRecordingFile(QDir(m_folder).filePath(file), &error, ordinal);
            ASSERT_TRUE(recording.has_value()) << key.toStdString() << ": " << error.toStdString();
            EXPECT_EQ(recording->descriptor, descriptor) << key.toStdString();
            TouchReportDecoder decoder(layout);
            for (const HidRecordedReport& report : recording->reports) {
                const TouchContactList list = decoder.contactsFromReport(data(report.bytes), std::size_t(report.bytes.size()));
                ++decodedReports;
                ASSERT_LE(list.count, layout.contactCount);
                ASSERT_GE(decoder.hybridOffset(), 0);
                for (int i = 0; i < list.count; ++i)
                    ASSERT_TRUE(list.contacts[i].flags == 3 && list.contacts[i].kind >= ContactKindFinger
                                && list.contacts[i].kind <= ContactKindEraser);
            }
        }
        const std::optional<QJsonArray> derived = derivedSlots(device, layout);
        if (!layout.valid || !derived)
            continue;
        for (int s = 0; s < layout.contactCount; ++s) {
            const TouchSlotLayout& slot = layout.contacts[s];
            const QString where = QStringLiteral("%1 slot %2").arg(key).arg(s);
            const int index = derivedIndexFor(slot, *derived);
            if (index < 0) {
                mismatches << QStringLiteral("%1: no derived collection has Tip Switch at %2").arg(where).arg(slot.tipSwitchBitOffset);
                continue;
            }
            const QJsonObject facts = derived->at(index).toObject();
            compareField(mismatches, laterCopies, where, facts, "contact_id_bits", slot.contactIdBitOffset, slot.contactIdBitLength);
            compareField(mismatches, laterCopies, where, facts, "x_bits", slot.xBitOffset, slot.xBitLength);
            compareField(mismatches, laterCopies, where, facts, "y_bits", slot.yBitOffset, slot.yBitLength);
            compareField(mismatches, laterCopies, where, facts, "width_bits", slot.widthBitOffset, slot.widthBitLength);
            compareField(mismatches, laterCopies, where, facts, "height_bits", slot.heightBitOffset, slot.heightBitLength);
            ++comparedSlots;
        }
        if (layout.hasContactCount && touchFacts(device).value("report_id").toInt(-1) == layout.reportID)
            compareField(mismatches, laterCopies, key, touchFacts(device), "contact_count_bits",
                         layout.contactCountBitOffset, layout.contactCountBitLength);

        const QJsonObject deviceSamples = samples.value(key).toObject().value("samples").toObject();
        for (auto it = deviceSamples.begin(); it != deviceSamples.end(); ++it) {
            const QByteArray bytes = QByteArray::fromHex(it.value().toObject().value("report_hex").toString().toLatin1());
            if (bytes.isEmpty() || std::uint8_t(bytes.at(0)) != layout.reportID)
                continue;
            const QJsonArray fields = it.value().toObject().value("decoded").toObject().value("slots").toArray();
            const TouchContactList list = TouchReportDecoder(layout).contactsFromReport(data(bytes), std::size_t(bytes.size()));
            const QString where = QStringLiteral("%1 %2").arg(key, it.key());
            int next = 0;
            for (int s = 0; s < layout.contactCount; ++s) {
                const TouchSlotLayout& slot = layout.contacts[s];
                const QJsonObject field = fields.at(derivedIndexFor(slot, *derived)).toObject();
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
    std::printf("%d slots compared, %d fields taken from the later copy of a repeated usage\n", comparedSlots, laterCopies);
    EXPECT_GT(comparedSlots, 100);
    EXPECT_GT(decodedReports, 100000);
    EXPECT_GT(comparedContacts, 100);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join('\n').toStdString();
}

// How far the rules reach on real devices: run with
//   --gtest_filter=RealDescriptors.CoverageTable
// to print one line per device and the totals.
TEST_F(RealDescriptors, CoverageTable)
{
    QMap<QString, int> totals;
    int valid = 0;
    std::printf("%-36s %-16s %5s %6s %6s %11s %8s  %s\n", "device", "kind", "valid", "report", "slots",
                "collections", "max", "note");
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const TouchLayout layout = layoutOf(QByteArray::fromHex(device.value("descriptor_hex").toString().toLatin1()));
        const int collections = touchFacts(device).value("contact_collections").toInt(0);
        const int published = device.value("summary").toObject().value("max_contacts_published").toInt(0);
        const int realContacts = published > 0 ? published : collections;
        QString note;
        if (!layout.valid)
            note = QStringLiteral("no valid layout");
        else if (layout.reportID != touchFacts(device).value("report_id").toInt(-1))
            note = QStringLiteral("valid, another report than the touch report");
        else if (layout.contactCount == collections && realContacts <= collections)
            note = QStringLiteral("valid, a slot for every contact");
        else if (layout.contactCount == collections)
            note = QStringLiteral("valid, every collection; more contacts (hybrid)");
        else if (layout.contactCount == kMaxTouchSlots)
            note = QStringLiteral("valid, 8 slots of more collections");
        else
            note = QStringLiteral("valid, collections without Finger usage missed");
        valid += layout.valid ? 1 : 0;
        ++totals[note];
        std::printf("%-36s %-16s %5s %6d %6d %11d %8s  %s\n", qPrintable(device.value("key").toString().left(36)),
                    qPrintable(device.value("kind").toString()), layout.valid ? "yes" : "no",
                    layout.valid ? int(layout.reportID) : -1, layout.contactCount, collections,
                    published > 0 ? qPrintable(QString::number(published)) : "-", qPrintable(note));
    }
    std::printf("\n%d of %lld descriptors give a valid layout\n", valid, static_cast<long long>(m_devices.size()));
    for (auto it = totals.begin(); it != totals.end(); ++it)
        std::printf("  %-50s %d\n", qPrintable(it.key()), it.value());
    EXPECT_GT(valid, 0);
}
