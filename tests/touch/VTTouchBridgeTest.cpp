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

#include "tests/support/QtPrinters.h"
#include "tests/touch/TouchTestData.h"

namespace {

const QByteArray kTouchDescriptor = touchtest::mouseThenTouchDescriptor();
// A touch screen whose collection has no Finger, Stylus or Pen inside.
const QByteArray kNoContactsDescriptor = QByteArray::fromHex("050d0904a101850209427501950181029507810305010930150026ff0f75109501 8102c0");

using touchtest::fingerReport;
using touchtest::touchDevice;

class TouchBridgeTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler;
    TraceEventSink sink{scheduler};
    FakeDisplayServices displays;
    FakeHidDeviceSource devices;
    bool canPost = true;
    std::unique_ptr<VTTouchBridge> owned = makeBridge();
    VTTouchBridge& bridge = *owned;

    std::unique_ptr<VTTouchBridge> makeBridge()
    {
        settings.registerDefaults();
        displays.addDisplay(1, QRectF(0, 0, 4096, 4096));
        displays.setMainDisplay(1);
        return std::make_unique<VTTouchBridge>(VTTouchBridge::Environment{
            devices, sink, scheduler, settings, displays, center, 0.5, [this] { return canPost; }});
    }
    bool startOnTouchScreen()
    {
        devices.list = {touchDevice("/dev/hidraw0")};
        return bridge.start();
    }
    bool sinkShows(const char* text) const { return sink.lines().join('\n').contains(QLatin1String(text)); }
};

} // namespace

TEST_F(TouchBridgeTest, StartFailuresSetStatusAndError)
{
    const auto expectFailure = [&](qint64 code, const char* description, const char* status) {
        VTError error;
        EXPECT_FALSE(bridge.start(&error));
        EXPECT_EQ(error, VTError::velotap(code, QString::fromUtf8(description)));
        EXPECT_EQ(bridge.statusText(), QString::fromUtf8(status)) << description;
        EXPECT_FALSE(bridge.running());
    };
    expectFailure(3, "Compatible HID touch device was not found.", "Device not found");

    devices.list = {touchDevice("/dev/hidraw0")};
    devices.unreadable = {QStringLiteral("/dev/hidraw0")};
    canPost = false;
    expectFailure(10, "Missing permission: Accessibility, Input Monitoring", "Needs permission");
    canPost = true;
    expectFailure(10, "Missing permission: Input Monitoring", "Needs permission");
    devices.unreadable.clear();

    // Readable at first glance but refused when opened.
    devices.nextOpenFailure = HidDeviceSource::OpenFailure::PermissionDenied;
    expectFailure(10, "Missing permission: Input Monitoring", "Needs permission");
    // Other errors are told as what they are, not as a missing permission.
    devices.nextOpenFailure = HidDeviceSource::OpenFailure::Other;
    devices.nextOpenError = EMFILE;
    expectFailure(EMFILE, "Could not open HID touch input: 0x18 (Too many open files)", "Could not open device");
    EXPECT_TRUE(lastDescriptorHex().isEmpty());
    devices.nextOpenFailure = HidDeviceSource::OpenFailure::None;

    devices.list = {touchDevice("/dev/hidraw0", kNoContactsDescriptor)};
    expectFailure(4, "No compatible HID touch descriptor was found.", "Device not found");
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("Descriptor parser could not build touch layout"));

    // A stored signature that matches nothing.
    devices.list = {touchDevice("/dev/hidraw0")};
    settings.setSettingValue(QStringLiteral("deviceSelection"), QStringLiteral("04e8:2084:01640000:Samsung:Flip:-"));
    expectFailure(4, "Selected touch device was not found or could not be parsed.", "Device not found");
    settings.setSettingValue(QStringLiteral("deviceSelection"), QStringLiteral("1234:5678:00000000:-:-:-"));
    expectFailure(3, "Selected touch device was not found.", "Device not found");
    EXPECT_FALSE(bridge.start()); // no error asked for: still fails cleanly
}

TEST_F(TouchBridgeTest, StartRunAndStop)
{
    devices.list = {touchDevice("/dev/hidraw0", kNoContactsDescriptor), touchDevice("/dev/hidraw1")};
    settings.setSettingValue(QStringLiteral("deviceSelection"), deviceSignature(devices.list[1]));
    ASSERT_TRUE(bridge.start());
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active"));
    EXPECT_EQ(bridge.decoderStatus(), QStringLiteral("HidDigitizerDescriptor report=2 contacts=1"));
    EXPECT_EQ(devices.openNode(), QStringLiteral("/dev/hidraw1"));
    EXPECT_EQ(lastDescriptorHex(), QString::fromLatin1(kTouchDescriptor.toHex()));
    EXPECT_TRUE(devices.lastOpenOptions.grabKernelInput);

    // Starting again changes nothing.
    bridge.refreshDisplayMapping();
    EXPECT_TRUE(bridge.start());
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Display updated"));
    EXPECT_EQ(devices.openCount, 1);

    bridge.stop();
    EXPECT_FALSE(bridge.running() || devices.isOpen() || bridge.layout().valid);
    EXPECT_EQ(bridge.statusText() + " / " + bridge.decoderStatus(), QStringLiteral("Stopped / No descriptor decoder"));
    EXPECT_TRUE(lastDescriptorHex().isEmpty() && lastDescriptorSummary().isEmpty());

    // The grab can be turned off.
    defaults.setValue(VTTouchBridge::GrabKernelInputKey, false);
    ASSERT_TRUE(bridge.start());
    EXPECT_FALSE(devices.lastOpenOptions.grabKernelInput);
    bridge.stop();

    // Another program holds one of the display's kernel nodes from the start,
    // lets it go, then another node cannot be taken.
    devices.setUntakenInputNodes({{QStringLiteral("/dev/input/event7"), EBUSY}});
    ASSERT_TRUE(bridge.start());
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active, touches may act twice"));
    devices.setUntakenInputNodes({});
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active"));
    devices.setUntakenInputNodes({{QStringLiteral("/dev/input/event8"), EACCES}});
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active, touches may act twice"));
}

TEST_F(TouchBridgeTest, EveryReportIsAnnouncedThenHandedToTheEngine)
{
    ASSERT_TRUE(startOnTouchScreen());
    QStringList order, texts;
    QVariantList contacts;
    ScopedObserver debug(center, VTNotification::DebugReport, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &bridge);
        order << QStringLiteral("debug:%1").arg(sink.lines().size());
        texts << n.userInfo.value("text").toString();
    });
    ScopedObserver compat(center, VTNotification::CompatibilityReport, [&](const Notification& n) {
        order << QStringLiteral("compat:%1").arg(sink.lines().size());
        contacts = n.userInfo.value("contacts").toList();
    });

    devices.deliver(fingerReport(true, 2048, 1024));
    EXPECT_EQ(order, (QStringList{"debug:0", "compat:0"}));
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("0008 bytes: 02 01 01 00 08 00 04 01\ndecoder=HidDigitizerDescriptor report=2")))
        << texts[0].toStdString();
    ASSERT_EQ(contacts.size(), 1);
    EXPECT_DOUBLE_EQ(contacts[0].toMap().value("screenX").toDouble(), 2048.0 * 4096 / 4095);
    EXPECT_FALSE(sink.lines().isEmpty()); // the engine warped the pointer after both posts

    // A report that is not the touch report (a pen or vendor report) is
    // announced but is no frame: the finger stays down mid-drag.
    order.clear();
    scheduler.advance(1.0);
    devices.deliver(QByteArray::fromHex("01010000"));
    EXPECT_EQ(order.size(), 2);
    EXPECT_TRUE(contacts.isEmpty());
    scheduler.advance(1.0);
    EXPECT_FALSE(sinkShows("left-up"));
    EXPECT_EQ(bridge.lastFrame().count, 1);
    devices.deliver(fingerReport(false, 0, 0, 0));
    EXPECT_TRUE(sinkShows("left-up"));

    // An observer that stops the bridge keeps the engine from acting on that report.
    const qsizetype posted = sink.lines().size();
    ScopedObserver stopper(center, VTNotification::DebugReport, [&](const Notification&) { bridge.stop(); });
    devices.deliver(fingerReport(true, 100, 100));
    scheduler.advance(1.0);
    EXPECT_FALSE(bridge.running());
    EXPECT_EQ(sink.lines().size(), posted);
}

TEST_F(TouchBridgeTest, CompatibilityTestModeAnnouncesButPostsNothing)
{
    ASSERT_TRUE(startOnTouchScreen());
    int announced = 0;
    ScopedObserver compat(center, VTNotification::CompatibilityReport, [&](const Notification&) { ++announced; });

    bridge.setCompatibilityTestMode(true);
    devices.deliver(fingerReport(true, 100, 100));
    devices.deliver(fingerReport(true, 900, 900));
    scheduler.advance(1.0);
    EXPECT_EQ(announced, 2);
    EXPECT_TRUE(sink.lines().isEmpty());

    // Leaving the mode with a finger down: nothing until every finger is lifted.
    bridge.setCompatibilityTestMode(false);
    devices.deliver(fingerReport(true, 1000, 900));
    scheduler.advance(1.0);
    EXPECT_TRUE(sink.lines().isEmpty());
    devices.deliver(fingerReport(false, 1000, 900, 0));
    devices.deliver(fingerReport(true, 500, 500));
    devices.deliver(fingerReport(false, 500, 500, 0));
    scheduler.advance(1.0);
    EXPECT_TRUE(sinkShows("left-down"));

    // Stop and start keep the mode.
    bridge.setCompatibilityTestMode(true);
    bridge.stop();
    ASSERT_TRUE(bridge.start());
    EXPECT_TRUE(bridge.compatibilityTestMode());
}

TEST_F(TouchBridgeTest, ReportPathAllocatesNothingWhenNobodyWatches)
{
    ASSERT_TRUE(startOnTouchScreen());
    const QByteArray other = QByteArray::fromHex("01010000");
    const QByteArray lifted = fingerReport(false, 0, 0, 0);
    const QByteArray touch = fingerReport(true, 300, 300);
    devices.deliver(lifted); // warm up
    for (const bool testMode : {false, true}) {
        bridge.setCompatibilityTestMode(testMode);
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i) {
            devices.deliver(other);
            devices.deliver(testMode ? touch : lifted);
        }
        EXPECT_EQ(scope.count(), 0u) << "test mode " << testMode;
    }
}

TEST_F(TouchBridgeTest, UnplugStopsCleanlyAndReplugResumes)
{
    ASSERT_TRUE(startOnTouchScreen());
    // A finger is down with the button pressed when the cable is pulled.
    devices.deliver(fingerReport(true, 100, 100));
    scheduler.advance(1.0);
    devices.deliver(fingerReport(true, 600, 600));
    ASSERT_TRUE(bridge.engine().anyButtonDown());
    devices.unplug();
    EXPECT_FALSE(bridge.running() || bridge.engine().anyButtonDown());
    EXPECT_TRUE(sink.lines().last().contains(QStringLiteral("left-up")));
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Device not found"));
    EXPECT_TRUE(bridge.waitingForDevice());

    // Some other device comes: nothing to resume on.
    devices.list = {touchDevice("/dev/hidraw3", kNoContactsDescriptor)};
    devices.announceChange();
    scheduler.advance(1.0);
    EXPECT_TRUE(!bridge.running() && bridge.waitingForDevice());

    // The display returns, first without access rights, then with them.
    devices.list.push_back(touchDevice("/dev/hidraw4"));
    devices.unreadable = {QStringLiteral("/dev/hidraw4")};
    devices.announceChange();
    scheduler.advance(0.6);
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Needs permission"));
    devices.unreadable.clear();
    devices.announceChange(); // as the source does when the node's access changes
    scheduler.advance(1.0);
    EXPECT_EQ(bridge.statusText(), QStringLiteral("Touch active"));
    EXPECT_EQ(devices.openNode(), QStringLiteral("/dev/hidraw4"));

    // After a deliberate stop a returning device does not start touch.
    devices.unplug();
    bridge.stop();
    devices.list = {touchDevice("/dev/hidraw5")};
    devices.announceChange();
    scheduler.advance(2.0);
    EXPECT_FALSE(bridge.running());
}

// A display with more contacts than slots sends a frame in several reports:
// the engine gets one frame with every contact, once the frame is complete,
// and the frame notification carries it; a frame whose last report is lost
// goes on after a short time.
TEST_F(TouchBridgeTest, FramesSpreadOverReportsReachTheEngineWhole)
{
    // Report 3: two contact collections (flags, id, X, Y) and a Contact Count.
    const std::vector<std::uint8_t> twoSlots = touchtest::Descriptor().application(3).contacts(2).contactCount().end().bytes;
    devices.list = {touchDevice("/dev/hidraw0", QByteArray(reinterpret_cast<const char*>(twoSlots.data()), qsizetype(twoSlots.size())))};
    ASSERT_TRUE(bridge.start());
    settings.setSettingValue(SettingsStore::inputKey(InputType::Finger3, InputSetting::MouseAction), qint64(MouseAction::Right));
    QList<QPair<int, bool>> frames;
    ScopedObserver frameObserver(center, VTNotification::TouchFrame, [&](const Notification& n) {
        frames.append({int(n.userInfo.value("contacts").toList().size()), n.userInfo.value("complete").toBool()});
    });
    const auto report = [](int first, int second, int count) {
        const auto contact = [](int id) {
            return id < 0 ? QByteArray(6, '\0') : QByteArray::fromHex("03") + char(id) + QByteArray::fromHex("00080004");
        };
        return QByteArray::fromHex("03") + contact(first) + contact(second) + char(count);
    };

    // Three fingers: two in the first report (count 3), one in the next (count 0).
    devices.deliver(report(1, 2, 3));
    EXPECT_TRUE(frames.isEmpty()) << "waiting for the rest of the frame";
    devices.deliver(report(3, -1, 0));
    ASSERT_EQ(frames, (QList<QPair<int, bool>>{{3, true}}));
    EXPECT_EQ(bridge.lastFrame().count, 3);
    EXPECT_TRUE(sinkShows("right-down")) << "three fingers: the finger3 action";

    // The second report of a frame never comes: the three go on without it.
    devices.deliver(report(1, 2, 3));
    scheduler.advance(VTTouchBridge::kFrameTimeout / 2);
    EXPECT_EQ(frames.size(), 1);
    scheduler.advance(VTTouchBridge::kFrameTimeout);
    ASSERT_EQ(frames.size(), 2);
    EXPECT_EQ(frames.last(), qMakePair(2, false));
    // The next report starts a frame of its own.
    devices.deliver(report(-1, -1, 0));
    EXPECT_EQ(frames.last(), qMakePair(0, true));
    EXPECT_TRUE(sinkShows("right-up"));
}
