#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <X11/Xlib.h>

namespace {

using Kind = RecordedXEvent::Kind;

// `velotap replay` without --dry-run, as a user runs it: the demo recording
// goes through the bridge, the engine and XTest into a private X server.
TEST(Replay, DemoRecordingClicksDragsAndScrollsOnARealXServer)
{
    XvfbServer server(1920, 1080);
    if (!server.isRunning())
        GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
    const QString recording = QDir(qEnvironmentVariable("VELOTAP_SOURCE_DIR")).filePath("resources/samples/demo.hid");
    if (!QFile::exists(recording))
        GTEST_SKIP() << "no demo recording";
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
    velotap.start(VELOTAP_EXECUTABLE, {"replay", recording});
    ASSERT_TRUE(velotap.waitForStarted());
    recorder->waitUntil([&](const XEventRecorder&) { return velotap.state() == QProcess::NotRunning; }, 60000);
    ASSERT_EQ(velotap.state(), QProcess::NotRunning);
    const QString output = QString::fromLocal8Bit(velotap.readAll());
    ASSERT_EQ(velotap.exitCode(), 0) << output.toStdString();
    recorder->settle(200);

    // A tap, a double tap, then a drag: left presses in that order. The
    // first tap maps to (480.01, just under 324): the pixel under it.
    const auto presses = recorder->pressesOf(1);
    ASSERT_GE(presses.size(), 4u) << output.toStdString();
    EXPECT_EQ(QPoint(presses[0].x, presses[0].y), QPoint(480, 323));
    EXPECT_LE(std::abs(presses[2].x - presses[1].x), 4);
    EXPECT_LT(presses[2].time - presses[1].time, 400u);
    const auto motions = recorder->eventsOf(Kind::Motion);
    EXPECT_TRUE(std::any_of(motions.begin(), motions.end(), [&](const RecordedXEvent& e) {
        return (e.state & Button1Mask) && e.x > presses[3].x + 20;
    }));
    // Two-finger scrolling turns the wheel; nothing stays pressed.
    EXPECT_FALSE(recorder->pressesOf(4).empty() && recorder->pressesOf(5).empty());
    EXPECT_TRUE(recorder->nothingHeld());
}

} // namespace
