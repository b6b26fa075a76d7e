#include "tests/gestures/GestureTestHarness.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/DroppingEventSink.h"

namespace {

// Mouse, magnify, key, scroll and launch lines are checked by the gesture
// tests, the printed lines by the replay command's.
TEST(TraceEventSink, EscapesTextAndKeepsNoLinesWhenToldNot)
{
    ManualScheduler scheduler(50.0);
    TraceEventSink trace(scheduler);
    int printed = 0;
    trace.setLineHandler([&](const QString&) { ++printed; });
    scheduler.advance(0.25);
    const char16_t text[] = u"a\"\n\u00e9";
    trace.postUnicodeText(text, 4, EventFlags::Command);
    trace.postMediaKey(1, true);
    const QStringList expected = {R"(0.250 text "a\"\u000a\u00e9" flags=0x100000)", "0.250 media 1 down"};
    trace.setKeepsLines(false);
    trace.postMediaKey(0, false);
    EXPECT_EQ(trace.takeLines(), expected);
    EXPECT_EQ(printed, 3);
}

using Engine = GestureEngineTest;

TEST_F(Engine, ARefreshMapsOntoTheNewDisplayAndIgnoresRestingFingersUntilLift)
{
    set(SettingsKey::TouchDelay, 0.0);
    touch({{200, 200}}, ContactKindEraser); // Right by default
    displays.addDisplay(2, QRectF(-1920, -200, 1920, 1080));
    engine.refreshDisplayMapping();
    EXPECT_EQ(engine.bounds(), QRectF(-1920, -200, 1920, 1080));
    EXPECT_EQ(engine.lastPoint(), QPointF(-1, -1));
    EXPECT_EQ(take("mouse"), QStringList({"0.000 mouse right-down button=1 at=200.00,200.00 flags=0x0",
                                          "0.000 mouse right-up button=1 at=200.00,200.00 flags=0x0"}));
    touch({{300, 300}}, ContactKindEraser);
    lift(); // only ends the suppression: no release
    EXPECT_TRUE(take().isEmpty());
    // The lift ends the ignored sequence as well: the next tap clicks.
    tap({500, 500}, 0.0);
    EXPECT_EQ(take(), QStringList({"0.000 warp -960.00,340.00",
                                   "0.000 mouse left-down button=0 at=-960.00,340.00 flags=0x0 click=1",
                                   "0.000 mouse left-up button=0 at=-960.00,340.00 flags=0x0 click=1"}));

    set(SettingsKey::DisplaySelection, QStringLiteral("primary"));
    engine.refreshDisplayMapping();
    EXPECT_EQ(engine.bounds(), QRectF(0, 0, 1000, 1000));
}

TEST_F(Engine, DragAndScrollFramesAllocateNothing)
{
    DroppingEventSink sink;
    VTGestureEngine quiet(sink, scheduler, settings, displays, center, 0.5);
    quiet.updateDisplayBounds();
    set(SettingsKey::TouchDelay, 0.0);
    auto run = [&](const Points& a, const Points& b) {
        const TouchContactList frames[2] = {frameOf(a), frameOf(b)};
        quiet.handleContacts(frames[0]);
        quiet.handleContacts(frames[1]); // presses or anchors, warms the settings cache
        const long before = sink.events;
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i)
            quiet.handleContacts(frames[i % 2]);
        EXPECT_EQ(scope.count(), 0u);
        return sink.events - before;
    };
    EXPECT_EQ(run({{100, 100}}, {{110, 100}}), 200) << "one-finger drag: a warp and a drag event per frame";
    quiet.handleContacts(TouchContactList{});
    EXPECT_EQ(run(pairAt(150, 100), pairAt(150, 110)), 100) << "two-finger scroll: a wheel event per frame";
}

} // namespace
