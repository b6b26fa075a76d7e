#include "touch/AxisMapping.h"
#include "touch/ContactDictionaries.h"
#include "touch/DescriptorSummary.h"
#include "touch/ReportDecoder.h"
#include "tests/touch/TouchTestData.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace {

std::string compactJson(const QVariantMap& map)
{
    return QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

TEST(DescriptorSummary, KeysValuesAndTypes)
{
    const TouchLayout layout = touchtest::singleFingerLayout();
    EXPECT_EQ(compactJson(descriptorSummary(layout)),
              R"({"contact_count_bits":"56:8","contact_slots":1,"contacts":[{"contact_id_bits":"16:8","eraser_bit":-1,)"
              R"("height_bits":"-1:0","in_range_bit":9,"invert_bit":-1,"preferred_kind":"finger","slot":0,)"
              R"("tip_switch_bit":8,"touch_valid_bit":-1,"width_bits":"-1:0","x_bits":"24:16","x_logical_max":4095,)"
              R"("x_logical_min":0,"y_bits":"40:16","y_logical_max":4095,"y_logical_min":0}],)"
              R"("decoder":"hid_digitizer_descriptor_v2","has_contact_count":true,"has_eraser":false,)"
              R"("has_finger_collection":true,"has_height":false,"has_in_range":true,"has_invert":false,)"
              R"("has_logical_ranges":true,"has_pen_collection":false,"has_touch_valid":false,"has_width":false,)"
              R"("hybrid_mode_possible":1,"report_id":1,"report_id_byte_offset":0,"valid":true})");

    TouchLayout other = layout;
    other.hasContactCount = false;
    other.reportID = 200;
    const QVariantMap summary = descriptorSummary(other);
    EXPECT_TRUE(summary.value("contact_count_bits") == "unavailable" && summary.value("hybrid_mode_possible") == QVariant(0)
                && summary.value("report_id") == QVariant(200));
    EXPECT_TRUE(descriptorSummary(TouchLayout{}).isEmpty());
}

TEST(AxisMapping, Edges)
{
    // Raw, logical range, origin and size, result: clamped to both ends, a
    // negative minimum, an empty range counting as one unit, raw values above
    // 2^31 not negative.
    const std::tuple<std::uint32_t, std::int32_t, std::int32_t, double, double, double> cases[] = {
        {4095, 0, 4095, 0, 1920, 1920}, {9000, 0, 4095, 100, 1920, 2020}, {5, 10, 4095, 100, 1920, 100},
        {0, -100, 100, 0, 1000, 500}, {7, 7, 7, 0, 10, 0}, {8, 7, 7, 0, 10, 10}, {0xFFFFFFFFu, 0, 100, 0, 10, 10}};
    for (const auto& [raw, minimum, maximum, origin, size, result] : cases)
        EXPECT_DOUBLE_EQ(mapRawAxis(raw, minimum, maximum, origin, size), result) << raw << " in " << minimum << ".." << maximum;
    // Extreme limits do not wrap.
    EXPECT_NEAR(mapRawAxis(0, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), 0, 2), 1.0, 1e-6);
    const TouchContact contact{0, 3, 1, 4095, 0, 0, 4095, 0, 4095, 0, ContactKindFinger};
    EXPECT_EQ(mapContact(contact, QRectF(1920, -200, 1280, 1024)), QPointF(3200, -200));
}

TEST(ContactDictionaries, TwelveKeysMapped)
{
    TouchContactList list{};
    list.count = 2;
    list.contacts[0] = TouchContact{0, 3, 5, 2048, 1024, 0, 4095, 0, 4095, 0, ContactKindFinger};
    list.contacts[1] = TouchContact{7, 3, 255, 4000000000u, 0, -5, 5, 0, 1, 0x0202, ContactKindPen};
    const QVariantList dictionaries = contactDictionariesFromList(list, QRectF(0, 0, 1920, 1080));
    ASSERT_EQ(dictionaries.size(), 2);
    QVariantMap first = dictionaries.at(0).toMap();
    EXPECT_NEAR(first.take("screenX").toDouble(), 960.2344, 1e-4);
    EXPECT_NEAR(first.take("screenY").toDouble(), 270.0659, 1e-4);
    EXPECT_EQ(compactJson(first), R"({"id":5,"kind":1,"kindName":"finger","width":0,"x":2048,"xMaximum":4095,)"
                                  R"("xMinimum":0,"y":1024,"yMaximum":4095,"yMinimum":0})");
    EXPECT_EQ(compactJson(dictionaries.at(1).toMap()), R"({"id":255,"kind":2,"kindName":"pen","screenX":1920,"screenY":0,)"
                                                       R"("width":514,"x":4000000000,"xMaximum":5,"xMinimum":-5,"y":0,)"
                                                       R"("yMaximum":1,"yMinimum":0})");
    EXPECT_TRUE(contactDictionariesFromList(TouchContactList{}, QRectF(0, 0, 10, 10)).isEmpty());
}
