// What `velotap devices` prints, from a list of devices as the platform gives them.
#include "app/cli/DeviceListing.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"
#include "tests/touch/TouchTestData.h"

namespace {

HidDeviceInfo display(const QString& node, const QString& product, qint64 location = 0x01630000)
{
    const QVariantList usages{QVariantMap{{HidProperty::DeviceUsagePage, qint64(1)}, {HidProperty::DeviceUsage, qint64(2)}},
                              QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsage, qint64(4)}}};
    return {node,
            {{HidProperty::VendorID, qint64(0x4E8)}, {HidProperty::ProductID, qint64(0x2084)},
             {HidProperty::LocationID, location}, {HidProperty::Manufacturer, QStringLiteral("Samsung")},
             {HidProperty::Product, product}, {HidProperty::Transport, QStringLiteral("USB")},
             {HidProperty::PrimaryUsagePage, qint64(1)}, {HidProperty::PrimaryUsage, qint64(2)},
             {HidProperty::DeviceUsagePairs, usages}, {HidProperty::MaxInputReportSize, qint64(8)},
             {HidProperty::ReportDescriptor, touchtest::mouseThenTouchDescriptor()}}};
}

const QString kSignature = QStringLiteral("04e8:2084:01630000:Samsung:Flip:-");

} // namespace

TEST(DeviceListing, NodesReadabilityAutomaticChoiceAndSelection)
{
    // One display with two interfaces, the second one unreadable, behind a
    // leading mouse collection; a keyboard that is no candidate.
    const HidDeviceInfo keyboard{QStringLiteral("/dev/hidraw0"), {{HidProperty::Product, QStringLiteral("Keyboard")}}};
    const std::vector<HidDeviceInfo> devices{keyboard, display("/dev/hidraw1", "Flip"), display("/dev/hidraw2", "Flip")};
    const auto canRead = [](const HidDeviceInfo& d) { return d.node != QLatin1String("/dev/hidraw2"); };

    // The first interface's kernel input nodes: one taken, one not yet
    // readable, one held by another program.
    const auto inputNodes = [](const HidDeviceInfo& d) {
        if (d.node != QLatin1String("/dev/hidraw1"))
            return std::vector<KernelInputNode>{};
        return std::vector<KernelInputNode>{{"/dev/input/event7", 0}, {"/dev/input/event8", EACCES}, {"/dev/input/event9", EBUSY}};
    };

    const cli::DeviceListing automatic(devices, canRead, QString(), inputNodes);
    EXPECT_EQ(automatic.text(),
              "Touch devices:\n"
              "  04e8:2084  Samsung / Flip  [USB]  reports up to 8 bytes\n"
              "      /dev/hidraw1\n"
              "          kernel input /dev/input/event7: taken from the desktop while touch runs\n"
              "          kernel input /dev/input/event8: not readable by you, so touches may act twice: install the udev "
              "rule (sudo velotap install-udev-rule, see the README)\n"
              "          kernel input /dev/input/event9: held by another program (Velotap itself while its touch runs), so "
              "touches may act twice\n"
              "      /dev/hidraw2  (not readable by you: install the udev rule (sudo velotap install-udev-rule, see "
              "the README))\n"
              "\n"
              "\"auto\" would choose: Flip (0x04e8:0x2084) on /dev/hidraw1\n"
              "deviceSelection: auto\n"
              "\n"
              "Devices that can be selected (deviceSelection):\n"
              "  Flip (0x04e8:0x2084)\n"
              "      " + kSignature + "\n");
    const QJsonObject json = automatic.json();
    EXPECT_EQ(QJsonDocument(json.value("touch_devices").toArray().at(0).toObject().value("nodes").toArray()).toJson(QJsonDocument::Compact),
              R"([{"input_nodes":[{"can_take":true,"node":"/dev/input/event7"},)"
              R"({"can_take":false,"node":"/dev/input/event8","reason":"Permission denied"},)"
              R"({"can_take":false,"node":"/dev/input/event9","reason":"Device or resource busy"}],)"
              R"("node":"/dev/hidraw1","readable":true},{"node":"/dev/hidraw2","readable":false}])");
    EXPECT_EQ(json.value("touch_devices").toArray().at(0).toObject().value("signature").toString(), kSignature);
    EXPECT_EQ(json.value("auto_choice").toObject().value("node").toString(), "/dev/hidraw1");
    EXPECT_EQ(QJsonDocument(json.value("device_selection").toObject()).toJson(QJsonDocument::Compact), R"({"value":"auto"})");

    // A stored selection that is connected, and one that is not.
    const QString connected = cli::DeviceListing(devices, canRead, kSignature).text();
    EXPECT_TRUE(connected.contains("deviceSelection: " + kSignature + "\n    connected: /dev/hidraw1, /dev/hidraw2  (not readable"))
        << connected.toStdString();
    const cli::DeviceListing elsewhere(devices, canRead, QStringLiteral("04e8:2084:01640000:Samsung:Flip:-"));
    EXPECT_TRUE(elsewhere.text().contains("    not connected: touch waits for this display;")) << elsewhere.text().toStdString();
    EXPECT_FALSE(elsewhere.json().value("device_selection").toObject().value("connected").toBool(true));

    // Nothing at all: said plainly, and "auto" chooses nothing.
    EXPECT_EQ(cli::DeviceListing({}, canRead, QString()).json().value("auto_choice"), QJsonValue(QJsonValue::Null));
}

TEST(DeviceListing, ControlCharactersInNamesAreShownEscaped)
{
    // A real display's name holds DC1 and SUB; an escape sequence could clear the screen.
    const HidDeviceInfo odd = display("/dev/hidraw1", QStringLiteral("Touch\x11Screen\x1b[2J\u202e"));
    const QString text = cli::DeviceListing({odd}, [](const HidDeviceInfo&) { return true; }, QString()).text();
    EXPECT_TRUE(text.contains("Samsung / Touch\\x11Screen\\x1b[2J\\u202e  [USB]")) << text.toStdString();
    EXPECT_FALSE(text.contains(QChar(0x1b)));
}
