#include "touch/DeviceDiscovery.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <tuple>

#include "tests/support/QtPrinters.h"
#include "tests/touch/TouchTestData.h"

namespace {

const QByteArray kTouchDescriptor = touchtest::mouseThenTouchDescriptor();
// A keyboard: no digitizer collection at all.
const QByteArray kKeyboardDescriptor = QByteArray::fromHex("05010906a101050719e029e71500250175019508810295017508810" "3c0");

HidDeviceInfo device(const QString& node, qint64 vendor, qint64 product, qint64 location, const QString& manufacturer,
                     const QString& name, const QByteArray& descriptor = kTouchDescriptor, qint64 primaryPage = 0x0D)
{
    HidDeviceInfo info{node,
                       {{HidProperty::VendorID, vendor}, {HidProperty::ProductID, product}, {HidProperty::LocationID, location},
                        {HidProperty::Manufacturer, manufacturer}, {HidProperty::Product, name},
                        {HidProperty::PrimaryUsagePage, primaryPage}, {HidProperty::PrimaryUsage, qint64(4)},
                        {HidProperty::Transport, QStringLiteral("USB")}, {HidProperty::MaxInputReportSize, qint64(8)}}};
    if (!descriptor.isEmpty())
        info.properties.insert(HidProperty::ReportDescriptor, descriptor);
    if (primaryPage == 0x0D) {
        info.properties.insert(HidProperty::DeviceUsagePairs,
                               QVariantList{QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsage, qint64(4)}}});
    }
    return info;
}

} // namespace

TEST(DeviceDiscovery, PropertyReadersSignatureAndTouchCandidateRule)
{
    HidDeviceInfo d = device("/dev/hidraw0", 0x4E8, 0x2084, 0x01630000, "Sam:sung", "Flip|2");
    EXPECT_EQ(deviceSignature(d), QStringLiteral("04e8:2084:01630000:Sam_sung:Flip_2:-"));

    // Absent numbers count as 0, a location of 0x80000000 or more reads as negative.
    d.properties.remove(HidProperty::VendorID);
    d.properties[HidProperty::LocationID] = qint64(0xFA100000);
    d.properties[HidProperty::SerialNumber] = QString();
    EXPECT_EQ(numberProperty(d, HidProperty::LocationID), qint64(std::int32_t(0xFA100000)));
    EXPECT_EQ(deviceSignature(d), QStringLiteral("0000:2084:00000000:Sam_sung:Flip_2:-"));

    EXPECT_EQ(hexPropertyText(-1, 4), QStringLiteral("unknown"));
    EXPECT_EQ(hexPropertyText(0x12345, 4), QStringLiteral("0x12345"));

    // The touch screen usage, or a touch name that is no keyboard; the name is manufacturer and product joined by a space.
    const std::tuple<const char*, const char*, qint64, bool> candidates[] = {
        {"", "", 0x0D, true}, {"ACME", "Big TOUCH Display", 1, true}, {"eGalax", "TouchScreen", 1, true},
        {"ACME", "Multi-Touch", 1, true}, {"ACME", "Touch Keyboard", 1, false}, {"Touch", "Display", 1, true}, {"Touchdis", "play", 1, false}};
    for (const auto& [manufacturer, product, page, candidate] : candidates)
        EXPECT_EQ(isTouchCandidate(device("a", 1, 1, 1, manufacturer, product, {}, page)), candidate) << manufacturer << '|' << product;
}

TEST(DeviceDiscovery, MatchingAndChoosingBySelection)
{
    const HidDeviceInfo mouse = device("/dev/hidraw0", 0x46D, 0xC077, 0x01100000, "Logitech", "Mouse", {}, 1);
    const HidDeviceInfo noDescriptor = device("/dev/hidraw1", 0x4E8, 0x2084, 0x01200000, "Samsung", "Flip", QByteArray());
    const HidDeviceInfo badDescriptor = device("/dev/hidraw2", 0x4E8, 0x2084, 0x01300000, "Samsung", "Flip", kKeyboardDescriptor);
    const HidDeviceInfo good = device("/dev/hidraw3", 0x4E8, 0x2084, 0x01400000, "Samsung", "Flip");
    const std::vector<HidDeviceInfo> all{mouse, noDescriptor, badDescriptor, good};

    // "auto" (and empty) match the touch screen usage only.
    EXPECT_TRUE(matchingDevices(all, QString()).size() == 3u && matchingDevices(all, "auto").size() == 3u);
    QString status = QStringLiteral("Descriptor decoder unavailable");
    DeviceChoice choice = chooseDevice(matchingDevices(all, "auto"), "auto", status);
    EXPECT_EQ(choice.index, 2);
    EXPECT_TRUE(choice.layout.valid);
    EXPECT_EQ(status, QStringLiteral("Descriptor parser could not build touch layout"));

    // Without the good one the last failure stays.
    status = QStringLiteral("Descriptor decoder unavailable");
    EXPECT_EQ(chooseDevice({badDescriptor, noDescriptor}, "auto", status).index, -1);
    EXPECT_EQ(status, QStringLiteral("HID report descriptor unavailable"));

    // A signature matches by vendor and product, then chooses by the exact signature.
    const QString signature = deviceSignature(good);
    EXPECT_EQ(matchingDevices(all, signature).size(), 3u);
    status = QStringLiteral("Descriptor decoder unavailable");
    choice = chooseDevice(matchingDevices(all, signature), signature, status);
    EXPECT_EQ(choice.index, 2);
    EXPECT_EQ(status, QStringLiteral("Descriptor decoder unavailable")); // nothing else was considered

    // The same display on another port is another device.
    HidDeviceInfo moved = good;
    moved.properties[HidProperty::LocationID] = qint64(0x01500000);
    EXPECT_EQ(chooseDevice({moved}, signature, status).index, -1);

    EXPECT_TRUE(DeviceMatching::forSelection("0x4e8:2084").byVendorAndProduct);
    EXPECT_EQ(DeviceMatching::forSelection("0x4e8:2084").vendorID, 0x4E8u);
    EXPECT_EQ(DeviceMatching::forSelection("0X0000000004E8:ffffffff").productID, 0xFFFFFFFFu); // leading zeros are fine
    for (const char* fallback : {"04e8", "0x:2084", "zz:2084", "04e8:", "123456789:1", "1:100000000", "+4e8:2084"})
        EXPECT_FALSE(DeviceMatching::forSelection(fallback).byVendorAndProduct) << fallback;
    // A selection without a colon uses the default matching but no signature equals it.
    EXPECT_EQ(chooseDevice(matchingDevices(all, "04e8"), "04e8", status).index, -1);
}

TEST(DeviceDiscovery, CatalogueAndTouchDeviceEntries)
{
    const HidDeviceInfo flipA = device("/dev/hidraw0", 0x4E8, 0x2084, 0x01400000, "Samsung", "flip");
    const HidDeviceInfo flipB = device("/dev/hidraw1", 0x4E8, 0x2084, 0x01400000, "Samsung", "flip"); // second interface
    const HidDeviceInfo possible = device("/dev/hidraw2", 0x1234, 0x5678, 0x01500000, "ACME", "Touch Display", {}, 1);
    const HidDeviceInfo keyboard = device("/dev/hidraw3", 0x1, 0x2, 0x01600000, "ACME", "Touch Keyboard", kKeyboardDescriptor, 1);
    HidDeviceInfo unnamed = device("/dev/hidraw4", 0x4E8, 0x1, 0x01700000, "", "", kTouchDescriptor);
    unnamed.properties.remove(HidProperty::MaxInputReportSize);
    unnamed.properties.remove(HidProperty::Transport);
    HidDeviceInfo alpha = device("/dev/hidraw5", 0x4E8, 0x2, 0x01800000, "Samsung", "Alpha");

    const auto catalogue = deviceCatalogue({flipA, flipB, possible, keyboard, unnamed, alpha});
    QStringList titles; // "+" marks a supported device
    for (const auto& entry : catalogue)
        titles << (entry.supported ? QStringLiteral("+ ") : QStringLiteral("- ")) + entry.title;
    EXPECT_EQ(titles.join('\n'), QStringLiteral("+ Alpha (0x04e8:0x0002)\n+ flip (0x04e8:0x2084)\n+ HID touch device (0x04e8:0x0001)\n"
                                                "- Touch Display (0x1234:0x5678)"));
    HidDeviceInfo manufacturerOnly = unnamed;
    manufacturerOnly.properties[HidProperty::Manufacturer] = QStringLiteral("Samsung");
    EXPECT_EQ(deviceCatalogue({manufacturerOnly})[0].title, QStringLiteral("Samsung (0x04e8:0x0001)"));

    EXPECT_EQ(QJsonDocument(QJsonArray::fromVariantList(touchDeviceEntries({flipA, flipB, possible, keyboard, unnamed})))
                  .toJson(QJsonDocument::Compact).toStdString(),
              R"([{"manufacturer_string":"Samsung","max_input_report_size":8,"product_id":"2084","product_string":"flip",)"
              R"("transport":"USB","vendor_id":"04e8"},{"manufacturer_string":"ACME","max_input_report_size":8,)"
              R"("product_id":"5678","product_string":"Touch Display","transport":"USB","vendor_id":"1234"},)"
              R"({"manufacturer_string":"-","product_id":"0001","product_string":"-","transport":"-","vendor_id":"04e8"}])");
    EXPECT_TRUE(touchDeviceEntries({}).isEmpty());
}
