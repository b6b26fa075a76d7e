#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/QtScheduler.h"
#include "base/UserDefaults.h"
#include "gestures/VTGestureEngine.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "platform/linux/XTestEventSink.h"
#include "settings/SettingsStore.h"
#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cmath>

namespace {

using Kind = RecordedXEvent::Kind;

// Touch frames through the real gesture engine into the XTest sink, seen by
// an X client of our own on a private Xvfb. The engine runs on a virtual
// clock; the X server keeps its own time, so what the client sees as a
// double click is what any X client would.
class GestureToDesktopTest : public ::testing::Test {
protected:
    // Raw digitizer units per root pixel, so test points read as pixels.
    static constexpr std::int32_t kRawPerPixel = 10;

    void startDesktop(int width, int height)
    {
        server = std::make_unique<XvfbServer>(width, height);
        if (!server->isRunning())
            GTEST_SKIP() << "no Xvfb: " << server->error().toStdString();
        m_size = QSize(width, height);
        QString error;
        displays = XRandrDisplayServices::open(&error, server->displayName().constData());
        ASSERT_TRUE(displays) << error.toStdString();
        recorder = XEventRecorder::open(server->displayName(), &error);
        ASSERT_TRUE(recorder) << error.toStdString();
        sink = XTestEventSink::open(sinkScheduler, &error, server->displayName().constData());
        ASSERT_TRUE(sink) << error.toStdString();
        settings.registerDefaults();
        engine = std::make_unique<VTGestureEngine>(*sink, clock, settings, *displays, center, 0.5);
        engine->updateDisplayBounds();
    }

    void TearDown() override
    {
        engine.reset();
        sink.reset();
    }

    // One frame of contacts on a digitizer that spans the whole X screen,
    // then the virtual clock moves on.
    void touch(std::initializer_list<QPointF> points, double then = 0.02)
    {
        TouchContactList frame;
        for (QPointF p : points) {
            TouchContact& c = frame.contacts[frame.count++];
            c.rawX = static_cast<std::uint32_t>(std::llround(p.x() * kRawPerPixel));
            c.rawY = static_cast<std::uint32_t>(std::llround(p.y() * kRawPerPixel));
            c.xMaximum = m_size.width() * kRawPerPixel;
            c.yMaximum = m_size.height() * kRawPerPixel;
            c.kind = ContactKindFinger;
        }
        engine->handleContacts(frame);
        clock.advance(then);
    }
    void lift(double then = 0) { touch({}, then); }
    bool waitFor(const std::function<bool(const XEventRecorder&)>& done)
    {
        sink->sync();
        const bool arrived = recorder->waitUntil(done);
        recorder->settle(100);
        return arrived;
    }
    void set(const QString& key, const QJsonValue& value) { settings.setSettingValue(key, value); }

    std::unique_ptr<XvfbServer> server;
    std::unique_ptr<XRandrDisplayServices> displays;
    std::unique_ptr<XEventRecorder> recorder;
    QtScheduler sinkScheduler;
    std::unique_ptr<XTestEventSink> sink;
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler clock{1000.0};
    std::unique_ptr<VTGestureEngine> engine;
    QSize m_size;
};

// Taps, double taps and drags on a real X server are checked by the replay
// of the demo recording; here what it does not show.
TEST_F(GestureToDesktopTest, ScrollTurnsTheWheelInTheNaturalDirectionAndEscapeComesBeforeTheClick)
{
    startDesktop(1280, 800);
    // Fingers moving down pull the content down: wheel up (button 4).
    for (int step = 0; step <= 10; ++step)
        touch({{600, 200.0 + step * 20}, {700, 200.0 + step * 20}}, 1.0 / 60);
    lift(2.0);
    ASSERT_TRUE(waitFor([](const XEventRecorder& r) { return r.pressesOf(4).size() >= 3; }));
    EXPECT_TRUE(recorder->pressesOf(5).empty());
    EXPECT_TRUE(recorder->pressesOf(1).empty());

    recorder->clear();
    set(SettingsStore::inputKey(InputType::Finger1, InputSetting::ModifierAction),
        static_cast<qint64>(KeyboardAction::Escape));
    touch({{640, 400}});
    touch({{650, 400}}, 0.2); // moving does not repeat it
    lift();
    ASSERT_TRUE(waitFor([](const XEventRecorder& r) { return !r.eventsOf(Kind::ButtonUp).empty(); }));
    const auto keys = recorder->eventsOf(Kind::KeyDown);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].keysym, static_cast<std::uint32_t>(XK_Escape));
    EXPECT_EQ(recorder->eventsOf(Kind::KeyUp).size(), 1u);
    EXPECT_GE(recorder->eventsOf(Kind::ButtonDown).front().time, keys[0].time);
}

TEST_F(GestureToDesktopTest, TouchMappedOntoTheRightHandMonitorLandsThere)
{
    startDesktop(3840, 1080);
    ASSERT_EQ(server->runClient("xrandr", {"--setmonitor", "LEFT", "1920/508x1080/286+0+0", "screen"}), 0);
    ASSERT_EQ(server->runClient("xrandr", {"--setmonitor", "RIGHT", "1920/508x1080/286+1920+0", "none"}), 0);
    set(SettingsKey::DisplaySelection,
        QStringLiteral("display:%1").arg(XRandrDisplayServices::idForMonitorName("RIGHT")));
    engine->updateDisplayBounds();
    EXPECT_EQ(engine->bounds(), QRectF(1920, 0, 1920, 1080));

    // The digitizer's middle is the right-hand monitor's middle.
    touch({{1920, 540}});
    lift();
    ASSERT_TRUE(waitFor([](const XEventRecorder& r) { return r.pressesOf(1).size() == 1; }));
    EXPECT_EQ(recorder->pressesOf(1).front().x, 2880);
    EXPECT_EQ(recorder->pressesOf(1).front().y, 540);
}

} // namespace
