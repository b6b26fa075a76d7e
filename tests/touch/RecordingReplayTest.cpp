#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDisplayServices.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecording.h"
#include "touch/HidRecordingWriter.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ReplayResult {
    bool started = false;
    int delivered = 0;
    int announced = 0;
    QStringList events;
};

// Plays a recording through the bridge on a virtual clock, the way a dry run does.
ReplayResult replay(const HidRecording& recording)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    NotificationCenter center;
    SettingsStore store(defaults, center);
    store.registerDefaults();
    ManualScheduler scheduler(0.0);
    TraceEventSink sink(scheduler);
    FakeDisplayServices displays;
    displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
    displays.setMainDisplay(1);
    RecordingDeviceSource source(recording, scheduler);
    store.setSettingValue(QStringLiteral("deviceSelection"), deviceSignature(source.device()));
    VTTouchBridge bridge({source, sink, scheduler, store, displays, center, 0.5, {}});

    ReplayResult result;
    ScopedObserver debug(center, VTNotification::DebugReport, [&](const Notification& n) {
        result.announced += n.userInfo.value("text").toString().isEmpty() ? 0 : 1;
    });
    ScopedObserver compat(center, VTNotification::CompatibilityReport, [&](const Notification& n) {
        for (const QVariant& contact : n.userInfo.value("contacts").toList()) {
            const double x = contact.toMap().value("screenX").toDouble();
            EXPECT_TRUE(x >= 0 && x <= 1920) << x;
        }
    });
    result.started = bridge.start();
    if (!result.started)
        return result;
    while (!source.finished() && scheduler.hasPending())
        scheduler.advanceTo(scheduler.nextDueTime());
    scheduler.advance(5.0);
    bridge.stop();
    result.delivered = source.deliveredCount();
    result.events = sink.lines();
    return result;
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
        QString error;
        const std::optional<HidRecording> recording = readHidRecordingFile(dir.filePath(file), &error);
        if (!recording)
            continue;
        const ReplayResult result = replay(*recording);
        if (!result.started)
            continue;
        ++started;
        EXPECT_EQ(result.delivered, recording->reports.size()) << file.toStdString();
        EXPECT_EQ(result.announced, recording->reports.size()) << file.toStdString();
        // Nothing may be left pressed once the bridge stopped.
        int downs = 0, ups = 0;
        for (const QString& line : result.events) {
            downs += line.contains(QStringLiteral("-down ")) ? 1 : 0;
            ups += line.contains(QStringLiteral("-up ")) ? 1 : 0;
        }
        EXPECT_EQ(downs, ups) << file.toStdString();
    }
    EXPECT_GT(started, files.size() / 2);
}

TEST(HidRecordingWriter, WrittenRecordingReadsBack)
{
    HidRecordingHeader header;
    header.name = QStringLiteral("ACME Touch\nDisplay");
    header.physicalPath = QStringLiteral("/dev/hidraw3");
    header.bus = 3;
    header.vendorID = 0x4E8;
    header.productID = 0x2084;
    header.descriptor = QByteArray::fromHex("050d0904a101c0");
    QByteArray text = hidRecordingHeaderText(header);
    EXPECT_TRUE(text.contains("I: 3 04e8 2084\n"));
    const std::uint8_t first[] = {0x01, 0x07, 0xff};
    const std::uint8_t second[] = {0x02};
    text += hidRecordingEventLine(0.0, first, 3);
    text += hidRecordingEventLine(12.3456789, second, 1);
    EXPECT_TRUE(text.endsWith("E: 12.345679 1 02\n"));

    QString error;
    const std::optional<HidRecording> recording = parseHidRecording(text, &error);
    ASSERT_TRUE(recording) << error.toStdString();
    EXPECT_EQ(recording->name, QStringLiteral("ACME Touch Display"));
    EXPECT_EQ(recording->descriptor, header.descriptor);
    ASSERT_EQ(recording->reports.size(), 2);
    EXPECT_EQ(recording->reports[0].bytes, QByteArray::fromHex("0107ff"));
    EXPECT_NEAR(recording->reports[1].timestamp, 12.345679, 1e-9);
}
