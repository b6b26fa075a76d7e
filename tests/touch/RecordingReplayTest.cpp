#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/RecordingBridgeHarness.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecording.h"
#include "touch/HidRecordingWriter.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Plays a recording through the bridge on a virtual clock, the way a dry run does,
// and checks what came out; false when the bridge does not take the device.
bool replayAndCheck(const HidRecording& recording, const std::string& file)
{
    RecordingBridgeHarness h(recording);
    int announced = 0;
    ScopedObserver debug(h.center, VTNotification::DebugReport, [&](const Notification& n) {
        announced += n.userInfo.value("text").toString().isEmpty() ? 0 : 1;
    });
    ScopedObserver compat(h.center, VTNotification::CompatibilityReport, [&](const Notification& n) {
        for (const QVariant& contact : n.userInfo.value("contacts").toList()) {
            const double x = contact.toMap().value("screenX").toDouble();
            EXPECT_TRUE(x >= 0 && x <= 1920) << file << ": " << x;
        }
    });
    if (!h.bridge.start())
        return false;
    h.deliverAll();
    h.scheduler.advance(5.0);
    h.bridge.stop();
    EXPECT_EQ(h.source.deliveredCount(), recording.reports.size()) << file;
    EXPECT_EQ(announced, recording.reports.size()) << file;
    // Nothing may be left pressed once the bridge stopped.
    EXPECT_EQ(h.sink.lines().filter(QStringLiteral("-down ")).size(), h.sink.lines().filter(QStringLiteral("-up ")).size()) << file;
    return true;
}

} // namespace

TEST(RecordingReplay, RealRecordingsReplayThroughTheBridge)
{
    const QString data = qEnvironmentVariable("VELOTAP_SHARED_DATA");
    const QDir dir(data + QStringLiteral("/real-descriptors/recordings"));
    const QStringList files = dir.entryList({QStringLiteral("*.hid")}, QDir::Files, QDir::Name);
    if (data.isEmpty() || files.isEmpty())
        GTEST_SKIP() << "no recordings under " << data.toStdString();
    int started = 0;
    for (const QString& file : files) {
        const std::optional<HidRecording> recording = readHidRecordingFile(dir.filePath(file));
        started += recording && replayAndCheck(*recording, file.toStdString()) ? 1 : 0;
    }
    EXPECT_GT(started, files.size() / 2);
}

TEST(HidRecordingWriter, WrittenRecordingReadsBack)
{
    // The physical path is where the kernel says the device hangs, not its node.
    const HidDeviceInfo device{QStringLiteral("/dev/hidraw3"),
                               {{HidProperty::Manufacturer, QStringLiteral("ACME")},
                                {HidProperty::Product, QStringLiteral("Touch\nDisplay")},
                                {HidProperty::PhysicalPath, QStringLiteral("usb-0000:00:14.0-6.3/input0")},
                                {HidProperty::Transport, QStringLiteral("USB")},
                                {HidProperty::VendorID, qint64(0x4E8)},
                                {HidProperty::ProductID, qint64(0x2084)},
                                {HidProperty::ReportDescriptor, QByteArray::fromHex("050d0904a101c0")}}};
    const HidRecordingHeader header = hidRecordingHeaderFor(device);
    const std::uint8_t first[] = {0x01, 0x07, 0xff};
    const std::uint8_t second[] = {0x02};
    const QByteArray text = hidRecordingHeaderText(header) + hidRecordingEventLine(0.0, first, 3)
        + hidRecordingEventLine(12.3456789, second, 1);
    EXPECT_EQ(text, "D: 0\nR: 7 05 0d 09 04 a1 01 c0\nN: ACME Touch Display\nP: usb-0000:00:14.0-6.3/input0\n"
                    "I: 3 04e8 2084\n"
                    "E: 0.000000 3 01 07 ff\nE: 12.345679 1 02\n");

    QString error;
    const std::optional<HidRecording> recording = parseHidRecording(text, &error);
    ASSERT_TRUE(recording) << error.toStdString();
    EXPECT_EQ(recording->name, QStringLiteral("ACME Touch Display"));
    EXPECT_EQ(recording->descriptor, header.descriptor);
    ASSERT_EQ(recording->reports.size(), 2);
    EXPECT_EQ(recording->reports[0].bytes, QByteArray::fromHex("0107ff"));
    EXPECT_NEAR(recording->reports[1].timestamp, 12.345679, 1e-9);
}

TEST(RecordingDeviceSource, ReportsKeepTheirRecordedTimesWhateverHandlingCosts)
{
    // 100 reports every 10 ms; report 7 recorded out of order.
    HidRecording recording;
    for (int i = 0; i < 100; ++i)
        recording.reports.append({5.0 + i * 0.01, QByteArray(1, char(i))});
    recording.reports[7].timestamp = 5.0;
    ManualScheduler scheduler(0.0);
    RecordingDeviceSource source(recording, scheduler);
    QList<double> delivered;
    auto stream = source.open(source.device(), {}, [&](const std::uint8_t* report, int) {
        delivered << scheduler.now();
        // Each report takes 3 ms to handle, report 20 takes 45 ms.
        scheduler.advance(report[0] == 20 ? 0.045 : 0.003);
    }, {});
    while (!source.finished() && scheduler.hasPending())
        scheduler.advanceTo(scheduler.nextDueTime());

    ASSERT_EQ(delivered.size(), 100);
    for (int i : {1, 6, 19, 20, 26, 99})
        EXPECT_NEAR(delivered[i], i * 0.01, 1e-9) << i;
    // The one from the past plays at once, after the one before it.
    EXPECT_NEAR(delivered[7], 0.063, 1e-9);
    // The reports due during the slow one follow it at once, then the replay is back on time.
    EXPECT_NEAR(delivered[21], 0.245, 1e-9);
    EXPECT_NEAR(delivered[24], 0.254, 1e-9);
    EXPECT_NEAR(source.timing().elapsed, 0.99, 1e-9);
    EXPECT_NEAR(source.timing().maxLateness, 0.035, 1e-9);
}
