#include "platform/linux/XRandrDisplayServices.h"
#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using Kind = RecordedXEvent::Kind;

// `velotap replay` without --dry-run, as a user runs it: the demo recording
// goes through the bridge, the engine and XTest into a private X server with
// two monitors, mapped onto the right-hand one, the eraser set to Escape.
TEST(Replay, DemoRecordingClicksDragsScrollsAndTypesOnTheRightHandMonitor)
{
    XvfbServer server(3840, 1080);
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
    const QString recording = QDir(qEnvironmentVariable("VELOTAP_SOURCE_DIR")).filePath("resources/samples/demo.hid");
    if (!QFile::exists(recording))
        GTEST_SKIP() << "no demo recording";
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "LEFT", "1920/508x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(server.runClient("xrandr", {"--setmonitor", "RIGHT", "1920/508x1080/286+1920+0", "none"}), 0);
    QString error;
    auto recorder = XEventRecorder::open(server.displayName(), &error);
    ASSERT_TRUE(recorder) << error.toStdString();

    QTemporaryDir config; // the user's settings stay out of it
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", QString::fromLatin1(server.displayName()));
    environment.insert("VELOTAP_CONFIG_DIR", config.path());
    environment.remove("WAYLAND_DISPLAY");
    QProcess velotap;
    velotap.setProcessEnvironment(environment);
    velotap.setProcessChannelMode(QProcess::MergedChannels);
    const QString right = QString::number(XRandrDisplayServices::idForMonitorName("RIGHT"));
    velotap.start(VELOTAP_EXECUTABLE, {"replay", recording, "--set", "displaySelection=display:" + right, "--set",
                                       "eraserModifierAction=5"});
    ASSERT_TRUE(velotap.waitForStarted());
    recorder->waitUntil([&](const XEventRecorder&) { return velotap.state() == QProcess::NotRunning; }, 60000);
    ASSERT_EQ(velotap.state(), QProcess::NotRunning);
    const QString output = QString::fromLocal8Bit(velotap.readAll());
    ASSERT_EQ(velotap.exitCode(), 0) << output.toStdString();
    recorder->settle(200);

    // A tap, a double tap, then a drag: left presses in that order. The
    // first tap maps to (1920 + 480.01, just under 324): the pixel under it.
    const auto presses = recorder->pressesOf(1);
    ASSERT_GE(presses.size(), 4u) << output.toStdString();
    EXPECT_EQ(QPoint(presses[0].x, presses[0].y), QPoint(2400, 323));
    EXPECT_LE(std::abs(presses[2].x - presses[1].x), 4);
    EXPECT_LT(presses[2].time - presses[1].time, 400u);
    const auto motions = recorder->eventsOf(Kind::Motion);
    EXPECT_TRUE(std::any_of(motions.begin(), motions.end(), [&](const RecordedXEvent& e) {
        return (e.state & Button1Mask) && e.x > presses[3].x + 20;
    }));
    // The eraser's Escape once, before its right click.
    const auto keys = recorder->eventsOf(Kind::KeyDown);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].keysym, static_cast<std::uint32_t>(XK_Escape));
    EXPECT_EQ(recorder->eventsOf(Kind::KeyUp).size(), 1u);
    ASSERT_EQ(recorder->pressesOf(3).size(), 1u);
    EXPECT_GE(recorder->pressesOf(3).front().time, keys[0].time);
    // Two fingers moving up push the content up: the wheel turns down
    // (button 5), never up. Nothing stays pressed.
    EXPECT_FALSE(recorder->pressesOf(5).empty());
    EXPECT_TRUE(recorder->pressesOf(4).empty());
    EXPECT_TRUE(recorder->nothingHeld());
}

} // namespace
