#include "touch/VTTouchBridge.h"

#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "gestures/VTGestureEngine.h"
#include "settings/SettingsStore.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/FakeHidDeviceSource.h"
#include "touch/DeviceDiscovery.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// A mouse collection, then a touch screen with one Finger collection in
// report 2: tip bit, 7 pad bits, contact id, 16-bit X and Y (0..4095), count.
const QByteArray kTouchDescriptor = QByteArray::fromHex(
    "05010902a10185010901a100050919012903150025019503750181029501750581030501093009311581257f750895028106c0c0"
    "050d0904a10185020922a1020942150025017501950181029507810309511500257f7508950181020501093009311500"
    "26ff0f751095028102c0050d095415002508750895018102c0");
// A touch screen whose collection has no Finger, Stylus or Pen inside.
const QByteArray kNoContactsDescriptor = QByteArray::fromHex("050d0904a101850209427501950181029507810305010930150026ff0f75109501 8102c0");

QByteArray fingerReport(bool down, int x, int y, int count = 1)
{
    QByteArray r(8, '\0');
    r[0] = 2;
    r[1] = down ? 1 : 0;
    r[2] = 1;
    r[3] = char(x & 0xFF);
    r[4] = char(x >> 8);
    r[5] = char(y & 0xFF);
    r[6] = char(y >> 8);
    r[7] = char(count);
    return r;
}

HidDeviceInfo touchDevice(const QString& node, const QByteArray& descriptor = kTouchDescriptor)
{
    HidDeviceInfo d;
    d.node = node;
    d.properties = {{HidProperty::VendorID, qint64(0x4E8)},
                    {HidProperty::ProductID, qint64(0x2084)},
                    {HidProperty::LocationID, qint64(0x01630000)},
                    {HidProperty::Manufacturer, QStringLiteral("Samsung")},
                    {HidProperty::Product, QStringLiteral("Flip")},
                    {HidProperty::PrimaryUsagePage, qint64(0x0D)},
                    {HidProperty::PrimaryUsage, qint64(4)},
                    {HidProperty::DeviceUsagePairs,
                     QVariantList{QVariantMap{{HidProperty::DeviceUsagePage, qint64(0x0D)}, {HidProperty::DeviceUsage, qint64(4)}}}},
                    {HidProperty::ReportDescriptor, descriptor}};
    return d;
}

struct BridgeRig {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler;
    TraceEventSink sink{scheduler};
    FakeDisplayServices displays;
    FakeHidDeviceSource devices;
    bool canPost = true;
    std::unique_ptr<VTTouchBridge> bridge;

    BridgeRig()
    {
        settings.registerDefaults();
        displays.addDisplay(1, QRectF(0, 0, 4096, 4096));
        displays.setMainDisplay(1);
        bridge = std::make_unique<VTTouchBridge>(VTTouchBridge::Environment{
            devices, sink, scheduler, settings, displays, center, 0.5, [this] { return canPost; }});
    }
};

} // namespace

TEST(VTTouchBridge, StartFailuresSetStatusAndError)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Stopped"));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("No descriptor decoder"));

    VTError error;
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(3, QStringLiteral("Compatible HID touch device was not found.")));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Device not found"));

    rig.devices.list = {touchDevice("/dev/hidraw0")};
    rig.devices.unreadable = {QStringLiteral("/dev/hidraw0")};
    rig.canPost = false;
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error.code, 10);
    EXPECT_EQ(error.description, QStringLiteral("Missing permission: Accessibility, Input Monitoring"));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Needs permission"));
    rig.canPost = true;
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error.description, QStringLiteral("Missing permission: Input Monitoring"));
    rig.devices.unreadable.clear();

    // Readable at first glance but refused when opened.
    rig.devices.nextOpenFailure = HidDeviceSource::OpenFailure::PermissionDenied;
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(10, QStringLiteral("Missing permission: Input Monitoring")));
    rig.devices.nextOpenFailure = HidDeviceSource::OpenFailure::Other;
    rig.devices.nextOpenError = EBUSY;
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(EBUSY, QStringLiteral("Could not open HID touch input: 0x10")));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Needs permission"));
    EXPECT_FALSE(bridge.running());
    EXPECT_TRUE(lastDescriptorHex().isEmpty());
    rig.devices.nextOpenFailure = HidDeviceSource::OpenFailure::None;

    rig.devices.list = {touchDevice("/dev/hidraw0", kNoContactsDescriptor)};
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(4, QStringLiteral("No compatible HID touch descriptor was found.")));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("Descriptor parser could not build touch layout"));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Device not found"));

    // A stored signature that matches nothing.
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    rig.settings.setSettingValue(QStringLiteral("deviceSelection"), QStringLiteral("04e8:2084:01640000:Samsung:Flip:-"));
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(4, QStringLiteral("Selected touch device was not found or could not be parsed.")));
    rig.settings.setSettingValue(QStringLiteral("deviceSelection"), QStringLiteral("1234:5678:00000000:-:-:-"));
    EXPECT_FALSE(bridge.start(&error));
    EXPECT_EQ(error, VTError::velotap(3, QStringLiteral("Selected touch device was not found.")));
    // No error asked for: still fails cleanly.
    EXPECT_FALSE(bridge.start());
}

TEST(VTTouchBridge, StartRunAndStop)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0", kNoContactsDescriptor), touchDevice("/dev/hidraw1")};
    rig.settings.setSettingValue(QStringLiteral("deviceSelection"), deviceSignature(rig.devices.list[1]));

    VTError error;
    ASSERT_TRUE(bridge.start(&error));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active"));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("HidDigitizerDescriptor report=2 contacts=1"));
    EXPECT_EQ(rig.devices.openNode(), QStringLiteral("/dev/hidraw1"));
    EXPECT_EQ(lastDescriptorHex(), QString::fromLatin1(kTouchDescriptor.toHex()));
    EXPECT_FALSE(lastDescriptorSummary().isEmpty());
    EXPECT_TRUE(rig.devices.lastOpenOptions.grabKernelInput);

    // Starting again changes nothing.
    bridge.refreshDisplayMapping();
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Display updated"));
    EXPECT_TRUE(bridge.start(&error));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Display updated"));
    EXPECT_EQ(rig.devices.openCount, 1);

    bridge.stop();
    EXPECT_FALSE(bridge.running());
    EXPECT_FALSE(rig.devices.isOpen());
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Stopped"));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("No descriptor decoder"));
    EXPECT_TRUE(lastDescriptorHex().isEmpty());
    EXPECT_TRUE(lastDescriptorSummary().isEmpty());
    EXPECT_FALSE(bridge.layout().valid);

    // The grab can be turned off.
    rig.defaults.setValue(VTTouchBridge::GrabKernelInputKey, false);
    ASSERT_TRUE(bridge.start());
    EXPECT_FALSE(rig.devices.lastOpenOptions.grabKernelInput);
}

TEST(VTTouchBridge, EveryReportIsAnnouncedThenHandedToTheEngine)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    ASSERT_TRUE(bridge.start());

    QStringList order;
    QStringList texts;
    QVariantList contacts;
    ScopedObserver debug(rig.center, VTNotification::DebugReport, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &bridge);
        order << QStringLiteral("debug:%1").arg(rig.sink.lines().size());
        texts << n.userInfo.value("text").toString();
    });
    ScopedObserver compat(rig.center, VTNotification::CompatibilityReport, [&](const Notification& n) {
        order << QStringLiteral("compat:%1").arg(rig.sink.lines().size());
        contacts = n.userInfo.value("contacts").toList();
    });

    rig.devices.deliver(fingerReport(true, 2048, 1024));
    EXPECT_EQ(order, (QStringList{"debug:0", "compat:0"}));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("0008 bytes: 02 01 01 00 08 00 04 01\ndecoder=HidDigitizerDescriptor report=2")))
        << texts[0].toStdString();
    ASSERT_EQ(contacts.size(), 1);
    EXPECT_DOUBLE_EQ(contacts[0].toMap().value("screenX").toDouble(), 2048.0 * 4096 / 4095);
    EXPECT_FALSE(rig.sink.lines().isEmpty()) << rig.sink.lines().join('\n').toStdString(); // the engine warped the pointer after both posts

    // A report that is not the touch report still reaches everyone, as an empty frame.
    order.clear();
    rig.devices.deliver(QByteArray::fromHex("01010000"));
    EXPECT_EQ(order.size(), 2);
    EXPECT_TRUE(contacts.isEmpty());
    rig.scheduler.advance(1.0);
    EXPECT_TRUE(rig.sink.lines().join('\n').contains(QStringLiteral("left-up")));
}

TEST(VTTouchBridge, CompatibilityTestModeAnnouncesButPostsNothing)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    ASSERT_TRUE(bridge.start());
    int announced = 0;
    ScopedObserver compat(rig.center, VTNotification::CompatibilityReport, [&](const Notification&) { ++announced; });

    bridge.setCompatibilityTestMode(true);
    EXPECT_TRUE(bridge.compatibilityTestMode());
    rig.devices.deliver(fingerReport(true, 100, 100));
    rig.devices.deliver(fingerReport(true, 900, 900));
    rig.scheduler.advance(1.0);
    EXPECT_EQ(announced, 2);
    EXPECT_TRUE(rig.sink.lines().isEmpty());

    // Leaving the mode with a finger down: nothing until every finger is lifted.
    bridge.setCompatibilityTestMode(false);
    rig.devices.deliver(fingerReport(true, 1000, 900));
    rig.scheduler.advance(1.0);
    EXPECT_TRUE(rig.sink.lines().isEmpty());
    rig.devices.deliver(fingerReport(false, 1000, 900, 0));
    rig.devices.deliver(fingerReport(true, 500, 500));
    rig.devices.deliver(fingerReport(false, 500, 500, 0));
    rig.scheduler.advance(1.0);
    EXPECT_TRUE(rig.sink.lines().join('\n').contains(QStringLiteral("left-down")));

    // Stop and start keep the mode.
    bridge.setCompatibilityTestMode(true);
    bridge.stop();
    ASSERT_TRUE(bridge.start());
    EXPECT_TRUE(bridge.compatibilityTestMode());
}

TEST(VTTouchBridge, ReportPathAllocatesNothingWhenNobodyWatches)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    ASSERT_TRUE(bridge.start());
    const QByteArray other = QByteArray::fromHex("01010000");
    const QByteArray lifted = fingerReport(false, 0, 0, 0);
    rig.devices.deliver(lifted); // warm up
    {
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i) {
            rig.devices.deliver(other);
            rig.devices.deliver(lifted);
        }
        EXPECT_EQ(scope.count(), 0u);
    }
    bridge.setCompatibilityTestMode(true);
    const QByteArray touch = fingerReport(true, 300, 300);
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 100; ++i)
        rig.devices.deliver(touch);
    EXPECT_EQ(scope.count(), 0u);
}

TEST(VTTouchBridge, UnplugStopsCleanlyAndReplugResumes)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    ASSERT_TRUE(bridge.start());

    // A finger is down with the button pressed when the cable is pulled.
    rig.devices.deliver(fingerReport(true, 100, 100));
    rig.scheduler.advance(1.0);
    rig.devices.deliver(fingerReport(true, 600, 600));
    ASSERT_TRUE(bridge.engine().anyButtonDown());
    rig.devices.unplug();
    EXPECT_FALSE(bridge.running());
    EXPECT_FALSE(bridge.engine().anyButtonDown());
    EXPECT_TRUE(rig.sink.lines().last().contains(QStringLiteral("left-up")));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Device not found"));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("No descriptor decoder"));
    EXPECT_TRUE(bridge.waitingForDevice());
    EXPECT_TRUE(lastDescriptorHex().isEmpty());

    // Some other device comes: nothing to resume on.
    rig.devices.list = {touchDevice("/dev/hidraw3", kNoContactsDescriptor)};
    rig.devices.announceChange();
    rig.scheduler.advance(1.0);
    EXPECT_FALSE(bridge.running());
    EXPECT_TRUE(bridge.waitingForDevice());

    // The display returns, first without access rights, then with them.
    rig.devices.list.push_back(touchDevice("/dev/hidraw4"));
    rig.devices.unreadable = {QStringLiteral("/dev/hidraw4")};
    rig.devices.announceChange();
    rig.scheduler.advance(0.6);
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Needs permission"));
    rig.devices.unreadable.clear();
    rig.scheduler.advance(1.0);
    EXPECT_TRUE(bridge.running());
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active"));
    EXPECT_EQ(rig.devices.openNode(), QStringLiteral("/dev/hidraw4"));
    EXPECT_FALSE(bridge.waitingForDevice());

    // After a deliberate stop a returning device does not start touch.
    rig.devices.unplug();
    bridge.stop();
    rig.devices.list = {touchDevice("/dev/hidraw5")};
    rig.devices.announceChange();
    rig.scheduler.advance(2.0);
    EXPECT_FALSE(bridge.running());
}

TEST(VTTouchBridge, StopFromAnObserverEndsTheReportQuietly)
{
    BridgeRig rig;
    VTTouchBridge& bridge = *rig.bridge;
    rig.devices.list = {touchDevice("/dev/hidraw0")};
    ASSERT_TRUE(bridge.start());
    ScopedObserver debug(rig.center, VTNotification::DebugReport, [&](const Notification&) { bridge.stop(); });
    rig.devices.deliver(fingerReport(true, 100, 100));
    rig.scheduler.advance(1.0);
    EXPECT_FALSE(bridge.running());
    EXPECT_TRUE(rig.sink.lines().isEmpty());
}
