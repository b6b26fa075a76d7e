#include "base/ManualScheduler.h"
#include "base/Notifications.h"
#include "tests/support/RecordingBridgeHarness.h"
#include "tests/touch/RealDescriptorData.h"
#include "touch/HidRecording.h"
#include "touch/HidRecordingWriter.h"
#include "touch/RecordingDeviceSource.h"

#include <gtest/gtest.h>

// Every real recording plays through the bridge on a virtual clock, the way a
// dry run does: each report is announced, no contact maps off the display and
// nothing stays pressed once the bridge stopped. Displays that spread a frame
// over several reports (hybrid) or send one report per contact must show the
// engine as many fingers at once as they reported, not one finger jumping
// between them.
TEST(RecordingReplay, RealRecordingsReplayWithEveryFingerOfAFrame)
{
    const QJsonArray devices = realdata::devices();
    if (devices.isEmpty())
        GTEST_SKIP() << "real descriptors not available (VELOTAP_SHARED_DATA)";
    QStringList wrong;
    int recordings = 0, started = 0, multiReportDisplays = 0;
    qsizetype reports = 0;
    for (const QJsonValue& value : devices) {
        const QJsonObject device = value.toObject();
        const std::string key = device.value("key").toString().toStdString();
        const std::optional<HidRecording> recording = realdata::recordingOf(realdata::folder(), device);
        if (!recording)
            continue;
        ++recordings;
        EXPECT_EQ(recording->descriptor, realdata::descriptorOf(device)) << key;
        RecordingBridgeHarness h(*recording);
        int announced = 0, mostInAFrame = 0;
        ScopedObserver debug(h.center, VTNotification::DebugReport, [&](const Notification& n) {
            announced += n.userInfo.value("text").toString().isEmpty() ? 0 : 1;
        });
        ScopedObserver compat(h.center, VTNotification::CompatibilityReport, [&](const Notification& n) {
            for (const QVariant& contact : n.userInfo.value("contacts").toList()) {
                const double x = contact.toMap().value("screenX").toDouble();
                EXPECT_TRUE(x >= 0 && x <= 1920) << key << ": " << x;
            }
        });
        ScopedObserver frames(h.center, VTNotification::TouchFrame, [&](const Notification& n) {
            mostInAFrame = std::max(mostInAFrame, int(n.userInfo.value("contacts").toList().size()));
        });

        const QJsonObject stats = device.value("recording").toObject().value("stats_derived_with_hid_tools").toObject();
        const TouchLayout layout = realdata::layoutOf(device);
        const bool hybrid = device.value("summary").toObject().value("hybrid_frames_observed_in_recording").toBool();
        const bool serial = layout.valid && !layout.hasContactCount && layout.contactCollectionCount == 1
            && stats.value("contact_ids_seen").toArray().size() > 1;
        if (!h.bridge.start()) {
            EXPECT_FALSE(hybrid || serial) << key;
            continue;
        }
        ++started;
        h.deliverAll();
        reports += h.source.deliveredCount();
        EXPECT_EQ(h.source.deliveredCount(), recording->reports.size()) << key;
        EXPECT_EQ(announced, recording->reports.size()) << key;
        if (hybrid || serial) {
            ++multiReportDisplays;
            // As many as a hybrid display announced, up to eight; a serial one
            // names no count, but it had several fingers down at once, never
            // more than its identifiers, and every recording ends with all
            // fingers lifted: each lift was seen.
            const int reported = hybrid ? stats.value("max_contact_count").toInt()
                                        : int(stats.value("contact_ids_seen").toArray().size());
            const bool right = hybrid ? mostInAFrame == std::min(reported, kMaxTouchSlots)
                                      : mostInAFrame >= 2 && mostInAFrame <= reported && h.bridge.lastFrame().count == 0;
            if (!right)
                wrong << QStringLiteral("%1: %2 reported, %3 in a frame, %4 at the end")
                             .arg(QString::fromStdString(key)).arg(reported).arg(mostInAFrame).arg(h.bridge.lastFrame().count);
        }
        h.scheduler.advance(5.0);
        h.bridge.stop();
        EXPECT_EQ(h.sink.lines().filter(QStringLiteral("-down ")).size(), h.sink.lines().filter(QStringLiteral("-up ")).size())
            << key;
    }
    EXPECT_GT(started, recordings / 2);
    EXPECT_GT(reports, 100000);
    EXPECT_EQ(multiReportDisplays, 40);
    EXPECT_TRUE(wrong.isEmpty()) << wrong.join('\n').toStdString();
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
