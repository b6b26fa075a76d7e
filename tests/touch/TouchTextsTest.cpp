#include "touch/AxisMapping.h"
#include "touch/ContactDictionaries.h"
#include "touch/DebugText.h"
#include "touch/DescriptorSummary.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"
#include "tests/touch/TouchTestData.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

#include <limits>

using touchtest::bytes;

namespace {

TouchLayout workedExampleLayout()
{
    return parseReportDescriptor(touchtest::kSingleFingerDescriptor.data(), touchtest::kSingleFingerDescriptor.size());
}

QSet<QString> keysOf(const QVariantMap& map)
{
    const QStringList keys = map.keys();
    return QSet<QString>(keys.begin(), keys.end());
}

} // namespace

TEST(DescriptorSummary, KeysValuesAndJson)
{
    const TouchLayout layout = workedExampleLayout();
    const QVariantMap summary = descriptorSummary(layout);
    EXPECT_EQ(keysOf(summary),
              (QSet<QString>{"decoder", "valid", "report_id", "report_id_byte_offset", "contact_slots",
                             "contact_count_bits", "has_finger_collection", "has_pen_collection",
                             "has_contact_count", "has_touch_valid", "has_in_range", "has_invert", "has_eraser",
                             "has_width", "has_height", "has_logical_ranges", "hybrid_mode_possible", "contacts"}));
    const QJsonObject json = QJsonObject::fromVariantMap(summary);
    EXPECT_EQ(json.value("decoder").toString(), "hid_digitizer_descriptor_v2");
    EXPECT_TRUE(json.value("valid").toBool());
    EXPECT_EQ(json.value("report_id").toInt(), 1);
    EXPECT_EQ(json.value("contact_slots").toInt(), 1);
    EXPECT_EQ(json.value("contact_count_bits").toString(), "56:8");
    EXPECT_EQ(json.value("hybrid_mode_possible").toInt(), 1);
    EXPECT_TRUE(json.value("has_in_range").toBool());
    EXPECT_FALSE(json.value("has_touch_valid").toBool());
    ASSERT_EQ(json.value("contacts").toArray().size(), 1);
    const QJsonObject slot = json.value("contacts").toArray().at(0).toObject();
    EXPECT_EQ(slot.size(), 16);
    EXPECT_EQ(slot.value("preferred_kind").toString(), "finger");
    EXPECT_EQ(slot.value("x_bits").toString(), "24:16");
    EXPECT_EQ(slot.value("y_logical_max").toInt(), 4095);
    EXPECT_EQ(slot.value("contact_id_bits").toString(), "16:8");
    EXPECT_EQ(slot.value("tip_switch_bit").toInt(), 8);
    EXPECT_EQ(slot.value("touch_valid_bit").toInt(), -1);
    EXPECT_EQ(slot.value("width_bits").toString(), "-1:0");
    EXPECT_FALSE(QJsonDocument(json).toJson().isEmpty());
    EXPECT_EQ(decoderStatusText(layout), "HidDigitizerDescriptor report=1 contacts=1");

    TouchLayout noCount = layout;
    noCount.hasContactCount = false;
    EXPECT_EQ(descriptorSummary(noCount).value("contact_count_bits").toString(), "unavailable");
    EXPECT_EQ(descriptorSummary(noCount).value("hybrid_mode_possible").toInt(), 0);
    EXPECT_TRUE(descriptorSummary(TouchLayout{}).isEmpty());

    TouchLayout high = layout;
    high.reportID = 200;
    EXPECT_EQ(decoderStatusText(high), "HidDigitizerDescriptor report=200 contacts=1");
}

TEST(AxisMapping, Edges)
{
    const QRectF display(0, 0, 1920, 1080);
    EXPECT_DOUBLE_EQ(mapRawAxis(4095, 0, 4095, 0, 1920), 1920.0);
    EXPECT_DOUBLE_EQ(mapRawAxis(0, 0, 4095, 0, 1920), 0.0);
    EXPECT_DOUBLE_EQ(mapRawAxis(9000, 0, 4095, 100, 1920), 2020.0);
    EXPECT_DOUBLE_EQ(mapRawAxis(5, 10, 4095, 100, 1920), 100.0);
    EXPECT_DOUBLE_EQ(mapRawAxis(0, -100, 100, 0, 1000), 500.0);
    // An empty range counts as one unit.
    EXPECT_DOUBLE_EQ(mapRawAxis(7, 7, 7, 0, 10), 0.0);
    EXPECT_DOUBLE_EQ(mapRawAxis(8, 7, 7, 0, 10), 10.0);
    // Extreme limits do not wrap.
    EXPECT_NEAR(mapRawAxis(0, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), 0, 2), 1.0, 1e-6);
    // Unsigned raw values above 2^31 are not negative.
    EXPECT_DOUBLE_EQ(mapRawAxis(0xFFFFFFFFu, 0, 100, 0, 10), 10.0);

    const QPointF point = mapRawX(2048, 1024, 0, 4095, 0, 4095, display);
    EXPECT_NEAR(point.x(), 960.2344, 1e-4);
    EXPECT_NEAR(point.y(), 270.0659, 1e-4);
    TouchContact contact;
    contact.rawX = 4095;
    contact.rawY = 0;
    contact.xMaximum = 4095;
    contact.yMaximum = 4095;
    EXPECT_EQ(mapContact(contact, QRectF(1920, -200, 1280, 1024)), QPointF(3200, -200));
}

TEST(ContactDictionaries, TwelveKeysMapped)
{
    TouchReportDecoder decoder(workedExampleLayout());
    const std::vector<std::uint8_t> report = bytes("0103050008000401");
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    const QVariantList dictionaries = contactDictionariesFromList(list, QRectF(0, 0, 1920, 1080));
    ASSERT_EQ(dictionaries.size(), 1);
    const QVariantMap contact = dictionaries.first().toMap();
    EXPECT_EQ(keysOf(contact), (QSet<QString>{"id", "x", "y", "xMinimum", "xMaximum", "yMinimum", "yMaximum",
                                              "screenX", "screenY", "width", "kind", "kindName"}));
    EXPECT_EQ(contact.value("id").toUInt(), 5u);
    EXPECT_EQ(contact.value("x").toUInt(), 2048u);
    EXPECT_EQ(contact.value("yMaximum").toInt(), 4095);
    EXPECT_NEAR(contact.value("screenX").toDouble(), 960.2344, 1e-4);
    EXPECT_NEAR(contact.value("screenY").toDouble(), 270.0659, 1e-4);
    EXPECT_EQ(contact.value("width").toUInt(), 0u);
    EXPECT_EQ(contact.value("kind").toLongLong(), 1);
    EXPECT_EQ(contact.value("kindName").toString(), "finger");
    EXPECT_TRUE(contactDictionariesFromList(TouchContactList{}, QRectF(0, 0, 10, 10)).isEmpty());
}

TEST(DebugText, Format)
{
    const TouchLayout layout = workedExampleLayout();
    const QString status = decoderStatusText(layout);
    TouchReportDecoder decoder(layout);
    const std::vector<std::uint8_t> report = bytes("0103050008000401");
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    EXPECT_EQ(debugTextForReport(report.data(), report.size(), list, status, layout, false),
              "0008 bytes: 01 03 05 00 08 00 04 01\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=1 reported=1 contacts=1 slots=1 "
              "hybridOffset=0 hybrid=no complete=yes\n"
              "  slot=0 id=  5 flags=0x03 down kind=finger  x= 2048 y= 1024 marker=0x0000");

    // Not the touch report: bytes, decoder line and zero counts.
    const std::vector<std::uint8_t> other = {1, 2, 3};
    EXPECT_EQ(debugTextForReport(other.data(), other.size(), TouchContactList{}, status, layout, true),
              "0003 bytes: 01 02 03\n"
              "decoder=HidDigitizerDescriptor report=1 contacts=1 report=1 frame=0 reported=0 contacts=0 slots=0 "
              "hybridOffset=0 hybrid=observed complete=no");

    // No decoder: the bytes and the decoder line only.
    EXPECT_EQ(debugTextForReport(other.data(), other.size(), TouchContactList{}, QString(), TouchLayout{}, false),
              "0003 bytes: 01 02 03\ndecoder=No descriptor decoder");
    EXPECT_EQ(debugTextForReport(nullptr, 0, TouchContactList{}, QString(), TouchLayout{}, false),
              "0000 bytes:\ndecoder=No descriptor decoder");

    // A pen contact: padded id, kind name and coordinates; the continuation word.
    TouchContactList pen{};
    pen.count = 2;
    pen.frameContactCount = 12;
    pen.slotCount = 8;
    pen.hybridOffset = 8;
    pen.continuation = true;
    pen.complete = true;
    pen.contacts[0] = TouchContact{0, 3, 7, 1234, 567, 0, 4095, 0, 4095, 0x0202, ContactKindPen};
    pen.contacts[1] = TouchContact{7, 3, 255, 65535, 0, 0, 65535, 0, 4095, 0xFFFF, ContactKindUnknown};
    const QString text = debugTextForReport(other.data(), other.size(), pen, status, layout, true);
    EXPECT_TRUE(text.endsWith(" report=1 frame=12 reported=12 contacts=2 slots=8 hybridOffset=8 hybrid=continuation "
                              "complete=yes\n"
                              "  slot=0 id=  7 flags=0x03 down kind=pen     x= 1234 y=  567 marker=0x0202\n"
                              "  slot=7 id=255 flags=0x03 down kind=unknown x=65535 y=    0 marker=0xffff"))
        << text.toStdString();
}
