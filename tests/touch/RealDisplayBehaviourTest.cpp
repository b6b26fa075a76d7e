// The same small behaviour on every real descriptor: reports built for its
// layout go through the bridge and the engine, so one finger clicks and two
// fingers scroll, whatever the display's report style (one report per frame,
// frames over several reports, one report per contact).
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/FakeHidDeviceSource.h"
#include "tests/touch/RealDescriptorData.h"
#include "tests/touch/ReportEncoder.h"
#include "touch/VTTouchBridge.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct RealDisplay {
    QString key;
    QJsonObject device;
};

std::vector<RealDisplay> realDisplays()
{
    std::vector<RealDisplay> displays;
    for (const QJsonValue& value : realdata::devices()) {
        const QJsonObject device = value.toObject();
        if (realdata::layoutOf(device).valid)
            displays.push_back({device.value("key").toString(), device});
    }
    return displays;
}

std::string testName(const ::testing::TestParamInfo<RealDisplay>& info)
{
    std::string name = info.param.key.toStdString();
    for (char& c : name)
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

class RealDisplayBehaviour : public ::testing::TestWithParam<RealDisplay> {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler{0.0};
    TraceEventSink sink{scheduler};
    FakeDisplayServices displays;
    FakeHidDeviceSource devices;
    std::unique_ptr<VTTouchBridge> bridge;
    TouchLayout layout = realdata::layoutOf(GetParam().device);
    touchtest::ReportEncoder encoder{layout};

    void SetUp() override
    {
        settings.registerDefaults();
        displays.addDisplay(1, QRectF(0, 0, 1000, 1000));
        displays.setMainDisplay(1);
        const QVariantList usages{QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsage, qint64(4)}}};
        devices.list = {{QStringLiteral("/dev/hidraw0"),
                         {{HidProperty::PrimaryUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsagePairs, usages},
                          {HidProperty::ReportDescriptor, realdata::descriptorOf(GetParam().device)}}}};
        bridge = std::make_unique<VTTouchBridge>(
            VTTouchBridge::Environment{devices, sink, scheduler, settings, displays, center, 0.5, {}});
        ASSERT_TRUE(bridge->start());
    }

    // A point at fractions of the first slot's logical range.
    touchtest::EncodedContact at(int id, double fx, double fy) const
    {
        const TouchSlotLayout& slot = layout.contacts[0];
        const auto along = [](std::int32_t minimum, std::int32_t maximum, double f) {
            const double low = std::max(0, minimum);
            return std::uint32_t(low + (double(maximum) - low) * f);
        };
        return {id, along(slot.xLogicalMinimum, slot.xLogicalMaximum, fx), along(slot.yLogicalMinimum, slot.yLogicalMaximum, fy)};
    }

    void send(const std::vector<touchtest::EncodedContact>& contacts, bool down = true)
    {
        for (const QByteArray& report : encoder.frame(contacts, down))
            devices.deliver(report);
        scheduler.advance(0.016);
    }

    bool carriesTwoContacts() const
    {
        const bool identified = layout.contacts[0].contactIdBitOffset >= 0;
        return identified && (layout.contactCount >= 2 || layout.hasContactCount || layout.contactCollectionCount == 1);
    }

    int count(const char* what) const { return int(sink.lines().filter(QLatin1String(what)).size()); }
};

} // namespace

TEST_P(RealDisplayBehaviour, OneFingerClicksAndTwoFingersScroll)
{
    send({at(1, 0.5, 0.5)});
    send({at(1, 0.5, 0.5)}, false);
    scheduler.advance(1.0);
    EXPECT_EQ(count("left-down"), 1) << sink.lines().join('\n').toStdString();
    EXPECT_EQ(count("left-up"), 1);

    if (!carriesTwoContacts())
        return;
    for (int step = 0; step < 10; ++step)
        send({at(1, 0.4, 0.3 + step * 0.03), at(2, 0.6, 0.3 + step * 0.03)});
    EXPECT_GT(count("scroll wheel"), 3) << sink.lines().join('\n').toStdString();
    send({at(1, 0.4, 0.6), at(2, 0.6, 0.6)}, false);
    scheduler.advance(5.0);
    EXPECT_EQ(count("left-down"), 1) << "two fingers never click";
    EXPECT_EQ(bridge->lastFrame().count, 0);
}

INSTANTIATE_TEST_SUITE_P(SharedData, RealDisplayBehaviour, ::testing::ValuesIn(realDisplays()), testName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealDisplayBehaviour);
