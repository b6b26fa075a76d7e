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

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

QString dataFolder()
{
    QString shared = QString::fromLocal8Bit(qgetenv("VELOTAP_SHARED_DATA"));
#ifdef VELOTAP_DEFAULT_SHARED_DATA
    if (shared.isEmpty())
        shared = QStringLiteral(VELOTAP_DEFAULT_SHARED_DATA);
#endif
    if (shared.isEmpty())
        return QString();
    const QString folder = QDir(shared).filePath(QStringLiteral("real-descriptors"));
    return QFile::exists(QDir(folder).filePath(QStringLiteral("descriptors.json"))) ? folder : QString();
}

QJsonDocument readJson(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll());
}

const std::uint8_t* data(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

TouchLayout layoutOf(const QJsonObject& device)
{
    const QByteArray descriptor = QByteArray::fromHex(device.value("descriptor_hex").toString().toLatin1());
    return parseReportDescriptor(data(descriptor), std::size_t(descriptor.size()));
}

// The derived contact collections of every report that has some, by report ID.
QMap<int, QJsonArray> derivedSlotsByReport(const QJsonObject& device)
{
    QMap<int, QJsonArray> reports;
    const QJsonObject facts = device.value("derived_facts").toObject();
    const QJsonObject touch = facts.value("touch_report").toObject();
    if (!touch.isEmpty())
        reports.insert(touch.value("report_id").toInt(-1), touch.value("slots").toArray());
    for (const QJsonValue& pen : facts.value("pen_reports").toArray())
        reports.insert(pen.toObject().value("report_id").toInt(-1), pen.toObject().value("slots").toArray());
    return reports;
}

// Index of the derived collection whose Tip Switch lies where the slot's does.
int derivedIndexFor(const TouchSlotLayout& slot, const QJsonArray& derived)
{
    for (qsizetype i = 0; i < derived.size(); ++i) {
        const QJsonArray tip = derived.at(i).toObject().value("tip_switch_bits").toArray();
        if (!tip.isEmpty() && tip.at(0).toInt() == slot.tipSwitchBitOffset)
            return int(i);
    }
    return -1;
}

// Compares one field's position. A field of a repeated usage (one Usage for
// a Report Count of two) is taken from its later copy by the rules and from
// its first by the derived facts; the devices that do this send the value
// twice, so one field later counts as agreeing and is tallied apart.
void compareField(QStringList& mismatches, int& laterCopies, const QString& where, const QJsonObject& derived,
                  const char* key, std::int32_t offset, std::int32_t length, bool onlyWhenDerived = false)
{
    const QJsonArray bits = derived.value(QLatin1String(key)).toArray();
    if (bits.isEmpty() && onlyWhenDerived)
        return;
    const std::int32_t expectedOffset = bits.isEmpty() ? -1 : bits.at(0).toInt();
    const std::int32_t expectedLength = bits.isEmpty() ? 0 : bits.at(1).toInt();
    if (length == expectedLength && expectedOffset >= 0 && offset == expectedOffset + expectedLength) {
        ++laterCopies;
        return;
    }
    if (offset != expectedOffset || length != expectedLength)
        mismatches << QStringLiteral("%1 %2: %3:%4, derived %5:%6")
                          .arg(where, QLatin1String(key))
                          .arg(offset)
                          .arg(length)
                          .arg(expectedOffset)
                          .arg(expectedLength);
}

int publishedMaxContacts(const QJsonObject& device)
{
    return device.value("summary").toObject().value("max_contacts_published").toInt(0);
}

int contactCollections(const QJsonObject& device)
{
    return device.value("derived_facts").toObject().value("touch_report").toObject().value("contact_collections").toInt(0);
}

class RealDescriptors : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder = dataFolder();
        if (m_folder.isEmpty())
            GTEST_SKIP() << "real descriptors not available (VELOTAP_SHARED_DATA)";
        m_devices = readJson(QDir(m_folder).filePath("descriptors.json")).array();
        ASSERT_FALSE(m_devices.isEmpty());
    }

    QString m_folder;
    QJsonArray m_devices;
};

} // namespace

TEST_F(RealDescriptors, BuiltSlotsAgreeWithDerivedPositions)
{
    QStringList mismatches;
    int comparedSlots = 0;
    int laterCopies = 0;
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const QString key = device.value("key").toString();
        const TouchLayout layout = layoutOf(device);
        if (!layout.valid)
            continue;
        const QMap<int, QJsonArray> reports = derivedSlotsByReport(device);
        if (!reports.contains(layout.reportID))
            continue;
        const QJsonArray derived = reports.value(layout.reportID);
        for (int s = 0; s < layout.contactCount; ++s) {
            const TouchSlotLayout& slot = layout.contacts[s];
            const QString where = QStringLiteral("%1 slot %2").arg(key).arg(s);
            const int index = derivedIndexFor(slot, derived);
            if (index < 0) {
                mismatches << QStringLiteral("%1: no derived collection has Tip Switch at %2").arg(where).arg(slot.tipSwitchBitOffset);
                continue;
            }
            const QJsonObject facts = derived.at(index).toObject();
            compareField(mismatches, laterCopies, where, facts, "contact_id_bits", slot.contactIdBitOffset, slot.contactIdBitLength);
            compareField(mismatches, laterCopies, where, facts, "x_bits", slot.xBitOffset, slot.xBitLength);
            compareField(mismatches, laterCopies, where, facts, "y_bits", slot.yBitOffset, slot.yBitLength);
            compareField(mismatches, laterCopies, where, facts, "width_bits", slot.widthBitOffset, slot.widthBitLength);
            compareField(mismatches, laterCopies, where, facts, "height_bits", slot.heightBitOffset, slot.heightBitLength);
            // A usage on a constant field counts for the rules, not for the derived facts.
            compareField(mismatches, laterCopies, where, facts, "in_range_bits", slot.inRangeBitOffset, slot.inRangeBitOffset < 0 ? 0 : 1, true);
            compareField(mismatches, laterCopies, where, facts, "touch_valid_bits", slot.touchValidBitOffset, slot.touchValidBitOffset < 0 ? 0 : 1, true);
            ++comparedSlots;
        }
        const QJsonObject touch = device.value("derived_facts").toObject().value("touch_report").toObject();
        if (layout.hasContactCount && touch.value("report_id").toInt(-1) == layout.reportID)
            compareField(mismatches, laterCopies, key, touch, "contact_count_bits", layout.contactCountBitOffset,
                         layout.contactCountBitLength);
    }
    std::printf("%d slots compared, %d fields taken from the later copy of a repeated usage\n", comparedSlots, laterCopies);
    EXPECT_GT(comparedSlots, 100);
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.join('\n').toStdString();
}

TEST_F(RealDescriptors, RecordingsDecodeAndAgreeWithSamples)
{
    const QJsonObject samples = readJson(QDir(m_folder).filePath("decoded_samples.json")).object();
    QStringList mismatches;
    int decodedReports = 0;
    int comparedContacts = 0;
    for (const QJsonValue& value : m_devices) {
        const QJsonObject device = value.toObject();
        const QString key = device.value("key").toString();
        const QString file = device.value("recording").toObject().value("file").toString();
        if (file.isEmpty())
            continue;
        QString error;
        const int ordinal = device.value("source").toObject().value("device_index_in_recording").toInt(0);
        const std::optional<HidRecording> recording = readHidRecordingFile(QDir(m_folder).filePath(file), &error, ordinal);
        ASSERT_TRUE(recording.has_value()) << key.toStdString() << ": " << error.toStdString();
        EXPECT_EQ(recording->descriptor.toHex(), device.value("descriptor_hex").toString().toLatin1()) << key.toStdString();

        const TouchLayout layout = parseReportDescriptor(data(recording->descriptor), std::size_t(recording->descriptor.size()));
        TouchReportDecoder decoder(layout);
        for (const HidRecordedReport& report : recording->reports) {
            const TouchContactList list = decoder.contactsFromReport(data(report.bytes), std::size_t(report.bytes.size()));
            ++decodedReports;
            ASSERT_LE(list.count, layout.contactCount);
            for (int i = 0; i < list.count; ++i) {
                ASSERT_EQ(list.contacts[i].flags, 3);
                ASSERT_TRUE(list.contacts[i].kind >= ContactKindFinger && list.contacts[i].kind <= ContactKindEraser);
            }
            ASSERT_GE(decoder.hybridOffset(), 0);
        }

        if (!layout.valid)
            continue;
        const QMap<int, QJsonArray> reports = derivedSlotsByReport(device);
        const QJsonObject deviceSamples = samples.value(key).toObject().value("samples").toObject();
        for (auto it = deviceSamples.begin(); it != deviceSamples.end(); ++it) {
            const QJsonObject sample = it.value().toObject();
            const QByteArray bytes = QByteArray::fromHex(sample.value("report_hex").toString().toLatin1());
            if (bytes.isEmpty() || std::uint8_t(bytes.at(0)) != layout.reportID || !reports.contains(layout.reportID))
                continue;
            const QJsonArray derived = reports.value(layout.reportID);
            const QJsonArray fields = sample.value("decoded").toObject().value("slots").toArray();
            TouchReportDecoder sampleDecoder(layout);
            const TouchContactList list = sampleDecoder.contactsFromReport(data(bytes), std::size_t(bytes.size()));
            const QString where = QStringLiteral("%1 %2").arg(key, it.key());
            int next = 0;
            for (int s = 0; s < layout.contactCount; ++s) {
                const TouchSlotLayout& slot = layout.contacts[s];
                const int index = derivedIndexFor(slot, derived);
                if (index < 0 || index >= fields.size())
                    continue;
                const QJsonObject field = fields.at(index).toObject();
                // Flags the sample leaves out (a usage on a constant field) are unknown.
                const auto flagSays = [&](const char* name, std::int32_t offset, bool& known) {
                    if (offset < 0)
                        return true;
                    if (!field.contains(QLatin1String(name))) {
                        known = false;
                        return true;
                    }
                    return field.value(QLatin1String(name)).toInt() == 1;
                };
                bool known = true;
                const bool down = field.value("tip_switch").toInt() == 1
                    && flagSays("in_range", slot.inRangeBitOffset, known)
                    && flagSays("touch_valid", slot.touchValidBitOffset, known);
                const bool decoded = next < list.count && list.contacts[next].slot == s;
                if (down != decoded && known) {
                    mismatches << QStringLiteral("%1 slot %2: down %3, decoded %4").arg(where).arg(s).arg(down).arg(decoded);
                    continue;
                }
                if (!decoded)
                    continue;
                const TouchContact& contact = list.contacts[next++];
                ++comparedContacts;
                if (contact.rawX != std::uint32_t(field.value("x").toDouble()) || contact.rawY != std::uint32_t(field.value("y").toDouble())
                    || contact.contactID != std::uint8_t(field.value("contact_id").toInt()))
                    mismatches << QStringLiteral("%1 slot %2: id %3 x %4 y %5, sample id %6 x %7 y %8")
                                      .arg(where)
                                      .arg(s)
                                      .arg(contact.contactID)
                                      .arg(contact.rawX)
                                      .arg(contact.rawY)
                                      .arg(field.value("contact_id").toInt())
                                      .arg(field.value("x").toInt())
                                      .arg(field.value("y").toInt());
            }
            if (next != list.count)
                mismatches << QStringLiteral("%1: %2 contacts decoded, %3 matched").arg(where).arg(list.count).arg(next);
        }
    }
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
        const TouchLayout layout = layoutOf(device);
        const int collections = contactCollections(device);
        const int published = publishedMaxContacts(device);
        const int touchReport = device.value("derived_facts").toObject().value("touch_report").toObject().value("report_id").toInt(-1);
        const int realContacts = published > 0 ? published : collections;
        QString note;
        if (!layout.valid)
            note = QStringLiteral("no valid layout");
        else if (layout.reportID != touchReport)
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
