#include "tests/gestures/GestureTestHarness.h"

#include "tests/support/AllocationCounter.h"
#include "tests/support/DroppingEventSink.h"

#include <memory>

namespace {

TEST(TraceEventSink, WritesOneFixedFormatLinePerEvent)
{
    ManualScheduler scheduler(50.0);
    TraceEventSink trace(scheduler);
    QStringList printed;
    trace.setLineHandler([&](const QString& line) { printed << line; });
    scheduler.advance(0.25);
    trace.postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {1.5, 2.25}, EventFlags::Shift, 2);
    trace.postMouseEvent(MouseEventType::OtherDragged, MouseButton::Center, {-3, 4}, 0, 0);
    trace.postScrollWheel(-7, 3, EventFlags::Command);
    trace.postMagnify(-0.0123456, 2, {10, 20});
    trace.postKey(53, false, 0);
    const char16_t text[] = u"a\"\n\u00e9";
    trace.postUnicodeText(text, 4, 0);
    trace.postMediaKey(1, true);
    trace.warpCursor({0.004, 999.999});
    trace.launchProgram("/usr/bin/tool", {"--x", "two words"});
    const QStringList expected = {
        "0.250 mouse left-down button=0 at=1.50,2.25 flags=0x20000 click=2",
        "0.250 mouse other-dragged button=2 at=-3.00,4.00 flags=0x0",
        "0.250 scroll wheel1=-7 wheel2=3 flags=0x100000",
        "0.250 magnify -0.0123 phase=2 at=10.00,20.00",
        "0.250 key 53 up flags=0x0",
        R"(0.250 text "a\"\u000a\u00e9" flags=0x0)",
        "0.250 media 1 down",
        "0.250 warp 0.00,1000.00",
        R"(0.250 launch "/usr/bin/tool" "--x" "two words")",
    };
    EXPECT_EQ(trace.lines(), expected);
    EXPECT_EQ(printed, expected);
    trace.setKeepsLines(false);
    trace.postMediaKey(0, false);
    EXPECT_EQ(trace.takeLines(), expected);
    EXPECT_TRUE(trace.lines().isEmpty());
    EXPECT_EQ(printed.size(), expected.size() + 1);
}

using Engine = GestureEngineTest;

TEST_F(Engine, ContactsMapOntoTheTargetDisplayAndAResetSuppressesUntilLift)
{
    displays.addDisplay(2, QRectF(-1920, -200, 1920, 1080));
    engine.refreshDisplayMapping();
    EXPECT_TRUE(engine.suppressInputUntilAllContactsUp());
    EXPECT_TRUE(engine.ignoreSingleTouchUntilAllUp());
    EXPECT_EQ(engine.lastPoint(), QPointF(-1, -1));
    EXPECT_EQ(engine.mapContact(contactAt({1000, 1000})), QPointF(0, 880));
    EXPECT_EQ(engine.mapContact(contactAt({0, 0})), QPointF(-1920, -200));
    touch({{500, 500}}); // ignored while suppressed
    lift();
    EXPECT_FALSE(engine.suppressInputUntilAllContactsUp());
    EXPECT_FALSE(engine.ignoreSingleTouchUntilAllUp());
    EXPECT_TRUE(take().isEmpty());

    set(SettingsKey::DisplaySelection, QStringLiteral("primary"));
    engine.refreshDisplayMapping();
    EXPECT_EQ(engine.bounds(), QRectF(0, 0, 1000, 1000));
}

TEST_F(Engine, TimersNeverOutliveTheEngine)
{
    auto other = std::make_unique<VTGestureEngine>(trace, scheduler, settings, displays, center, 0.5);
    other->updateDisplayBounds();
    auto frame = [](double y) { return frameOf({{100, y}, {200, y}}); };
    other->handleContacts(frame(100));
    for (int i = 1; i <= 3; ++i) {
        advance(1.0 / 60);
        other->handleContacts(frame(100 + 6 * i));
    }
    other->handleContacts(TouchContactList{});
    advance(0.05);
    ASSERT_TRUE(other->inertiaRunning());
    other.reset();
    EXPECT_FALSE(scheduler.hasPending());
    advance(1.0);
}

TEST_F(Engine, DragAndScrollFramesAllocateNothing)
{
    DroppingEventSink sink;
    VTGestureEngine quiet(sink, scheduler, settings, displays, center, 0.5);
    quiet.updateDisplayBounds();
    set(SettingsKey::TouchDelay, 0.0);

    quiet.handleContacts(frameOf({{100, 100}}));
    TouchContactList drag[2] = {frameOf({{110, 100}}), frameOf({{120, 100}})};
    quiet.handleContacts(drag[0]); // warms the settings cache
    const long before = sink.events;
    {
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i)
            quiet.handleContacts(drag[(i + 1) % 2]);
        EXPECT_EQ(scope.count(), 0u) << "one-finger drag";
    }
    EXPECT_EQ(sink.events - before, 200) << "a warp and a drag event per frame";
    quiet.handleContacts(TouchContactList{});

    TouchContactList scroll[2] = {frameOf({{100, 100}, {200, 100}}), frameOf({{100, 110}, {200, 110}})};
    quiet.handleContacts(scroll[0]);
    quiet.handleContacts(scroll[1]);
    const long scrollBefore = sink.events;
    {
        velotap::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i)
            quiet.handleContacts(scroll[i % 2]);
        EXPECT_EQ(scope.count(), 0u) << "two-finger scroll";
    }
    EXPECT_EQ(sink.events - scrollBefore, 100);
}

} // namespace
