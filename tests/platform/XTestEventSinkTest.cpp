#include "base/QtScheduler.h"
#include "platform/linux/XTestEventSink.h"
#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <map>

namespace {

using Kind = RecordedXEvent::Kind;

// Every key and button that went down came up again.
void expectNothingHeld(const XEventRecorder& recorder)
{
    std::map<std::pair<bool, unsigned>, int> balance;
    for (const RecordedXEvent& e : recorder.events()) {
        if (e.kind == Kind::KeyDown || e.kind == Kind::ButtonDown)
            ++balance[{e.kind == Kind::KeyDown, e.detail}];
        if (e.kind == Kind::KeyUp || e.kind == Kind::ButtonUp)
            --balance[{e.kind == Kind::KeyUp, e.detail}];
    }
    for (const auto& [key, count] : balance)
        EXPECT_EQ(count, 0) << (key.first ? "key " : "button ") << key.second;
}

std::vector<std::uint32_t> pressedKeysyms(const XEventRecorder& recorder)
{
    std::vector<std::uint32_t> keysyms;
    for (const RecordedXEvent& e : recorder.eventsOf(Kind::KeyDown))
        keysyms.push_back(e.keysym);
    return keysyms;
}

class XTestEventSinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!server.isRunning())
            GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
        QString error;
        recorder = XEventRecorder::open(server.displayName(), &error);
        ASSERT_TRUE(recorder) << error.toStdString();
        sink = XTestEventSink::open(scheduler, &error, server.displayName().constData());
        ASSERT_TRUE(sink) << error.toStdString();
    }

    bool waitForKind(Kind kind, std::size_t count)
    {
        sink->sync();
        return recorder->waitUntil([&](const XEventRecorder& r) { return r.eventsOf(kind).size() >= count; });
    }

    XvfbServer server{1280, 800};
    QtScheduler scheduler;
    std::unique_ptr<XEventRecorder> recorder;
    std::unique_ptr<XTestEventSink> sink;
};

TEST_F(XTestEventSinkTest, ButtonsPressAndDragAtRootPixels)
{
    sink->warpCursor({100.4, 200.9});
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {300, 400}, 0, 1);
    sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {350, 420}, 0, 1);
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {350, 420}, 0, 1);
    sink->postMouseEvent(MouseEventType::RightDown, MouseButton::Right, {10, 20}, 0, 0);
    sink->postMouseEvent(MouseEventType::RightUp, MouseButton::Right, {10, 20}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherDown, MouseButton::Center, {30, 40}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherDragged, MouseButton::Center, {31, 41}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, {31, 41}, 0, 0);
    ASSERT_TRUE(waitForKind(Kind::ButtonUp, 3));

    const auto motions = recorder->eventsOf(Kind::Motion);
    ASSERT_FALSE(motions.empty());
    EXPECT_EQ(motions.front().x, 100); // the pixel containing the point
    EXPECT_EQ(motions.front().y, 200);

    const auto presses = recorder->eventsOf(Kind::ButtonDown);
    const auto releases = recorder->eventsOf(Kind::ButtonUp);
    ASSERT_EQ(presses.size(), 3u);
    ASSERT_EQ(releases.size(), 3u);
    EXPECT_EQ(presses[0].detail, 1u);
    EXPECT_EQ(presses[0].x, 300);
    EXPECT_EQ(presses[0].y, 400);
    EXPECT_EQ(releases[0].x, 350);
    EXPECT_EQ(presses[1].detail, 3u);
    EXPECT_EQ(presses[2].detail, 2u);
    EXPECT_EQ(presses[2].x, 30);

    // The drag moved with the button held.
    bool draggedWithButton = false;
    for (const RecordedXEvent& e : motions)
        draggedWithButton |= e.x == 350 && e.y == 420 && (e.state & Button1Mask);
    EXPECT_TRUE(draggedWithButton);

    // A release for a button that is not held posts nothing.
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {5, 5}, 0, 1);
    sink->sync();
    recorder->settle(100);
    EXPECT_EQ(recorder->eventsOf(Kind::ButtonUp).size(), 3u);
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, ModifierFlagsHoldForTheWholeClickAndNeverStick)
{
    const std::uint64_t shiftOption = EventFlags::Shift | EventFlags::Option;
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {50, 50}, shiftOption, 1);
    sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {60, 50}, shiftOption, 1);
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {60, 50}, shiftOption, 1);
    sink->postScrollWheel(48, 0, EventFlags::Control);
    ASSERT_TRUE(waitForKind(Kind::KeyUp, 3));
    recorder->settle(100);

    const auto presses = recorder->eventsOf(Kind::ButtonDown);
    ASSERT_EQ(presses.size(), 2u);
    EXPECT_EQ(presses[0].state & (ShiftMask | Mod1Mask), unsigned(ShiftMask | Mod1Mask));
    EXPECT_EQ(presses[1].detail, 4u);
    EXPECT_EQ(presses[1].state & (ShiftMask | ControlMask | Mod1Mask), unsigned(ControlMask));
    // Shift and Alt went down once for the click (not per event), then Control.
    EXPECT_EQ(pressedKeysyms(*recorder),
              (std::vector<std::uint32_t>{XK_Shift_L, XK_Alt_L, XK_Control_L}));
    const auto releases = recorder->eventsOf(Kind::ButtonUp);
    EXPECT_EQ(releases[0].state & (ShiftMask | Mod1Mask), unsigned(ShiftMask | Mod1Mask));
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, ScrollBecomesWheelStepsWithTheRemainderCarried)
{
    sink->warpCursor({640, 400});
    sink->postScrollWheel(100, 0, 0);  // 2 steps up, 4 px carried
    sink->postScrollWheel(44, 0, 0);   // 48: one more
    sink->postScrollWheel(20, 0, 0);   // nothing yet
    sink->postScrollWheel(-50, 0, 0);  // reversal drops the 20: one down
    sink->postScrollWheel(0, 96, 0);   // two left
    sink->postScrollWheel(0, -48, 0);  // one right
    ASSERT_TRUE(waitForKind(Kind::ButtonUp, 7));
    recorder->settle(100);
    std::vector<unsigned> buttons;
    for (const RecordedXEvent& e : recorder->eventsOf(Kind::ButtonDown))
        buttons.push_back(e.detail);
    EXPECT_EQ(buttons, (std::vector<unsigned>{4, 4, 4, 5, 6, 6, 7}));
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, KeysCombosAndMediaKeys)
{
    sink->postKey(53, true, 0);
    sink->postKey(53, false, 0);
    // A recorded combo: Shift, Command, "1", in the engine's order.
    const std::uint64_t shiftCommand = EventFlags::Shift | EventFlags::Command;
    sink->postKey(56, true, EventFlags::Shift);
    sink->postKey(55, true, shiftCommand);
    sink->postKey(18, true, shiftCommand);
    sink->postKey(18, false, shiftCommand);
    sink->postKey(55, false, EventFlags::Shift);
    sink->postKey(56, false, 0);
    // The keyboard's Control+C: the flag holds Control for press and release.
    sink->postKey(8, true, EventFlags::Control);
    sink->postKey(8, false, EventFlags::Control);
    sink->postMediaKey(0, true);
    sink->postMediaKey(0, false);
    sink->postMediaKey(1, true);
    sink->postMediaKey(1, false);
    sink->postKey(0x101, true, 0); // Print
    sink->postKey(0x101, false, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyUp, 9));
    recorder->settle(150);

    EXPECT_EQ(pressedKeysyms(*recorder),
              (std::vector<std::uint32_t>{XK_Escape, XK_Shift_L, XK_Super_L, XK_1, XK_Control_L, XK_c,
                                          XF86XK_AudioRaiseVolume, XF86XK_AudioLowerVolume, XK_Print}));
    for (const RecordedXEvent& e : recorder->eventsOf(Kind::KeyDown)) {
        if (e.keysym == XK_1) {
            EXPECT_EQ(e.state & (ShiftMask | Mod4Mask), unsigned(ShiftMask | Mod4Mask));
        }
        if (e.keysym == XK_c) {
            EXPECT_TRUE(e.state & ControlMask);
        }
    }
    // Control stayed down from the press of "c" to its release.
    const auto& all = recorder->events();
    int controlReleases = 0;
    for (const RecordedXEvent& e : all)
        controlReleases += e.kind == Kind::KeyUp && e.keysym == XK_Control_L;
    EXPECT_EQ(controlReleases, 1);
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, AnyCharacterTypesThroughABorrowedKeycode)
{
    const std::u16string text = u"ä€¿a";
    sink->postUnicodeText(text.data(), static_cast<int>(text.size()), 0);
    const std::u16string more = u"ßøπ😀"; // a surrogate pair too
    sink->postUnicodeText(more.data(), static_cast<int>(more.size()), 0);
    EXPECT_GT(sink->borrowedKeycodeCount(), 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 8));
    EXPECT_EQ(recorder->typedText(), QStringLiteral("ä€¿aßøπ😀"));

    // More characters than spare keycodes: the oldest are reused after the
    // wait, and clients still read every one correctly.
    recorder->clear();
    const std::u16string first = u"àáâãåæçè";
    const std::u16string second = u"éêëìíîïð";
    sink->postUnicodeText(first.data(), 8, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 8));
    sink->postUnicodeText(second.data(), 8, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 16));
    EXPECT_EQ(recorder->typedText(), QStringLiteral("àáâãåæçèéêëìíîïð"));

    // The keymap is given back shortly after.
    EXPECT_TRUE(recorder->waitUntil([&](const XEventRecorder&) { return sink->borrowedKeycodeCount() == 0; }));
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, MagnifyHoldsControlAndTurnsTheWheel)
{
    sink->warpCursor({100, 100});
    sink->postMagnify(0.0, 1, {100, 100});
    sink->postMagnify(0.3, 2, {100, 100});  // 1 step in, 0.1 carried
    sink->postMagnify(0.1, 2, {100, 100});  // 0.2: another
    sink->postMagnify(-0.2, 2, {100, 100}); // out
    sink->postMagnify(0.0, 8, {100, 100});
    ASSERT_TRUE(waitForKind(Kind::KeyUp, 1));
    recorder->settle(100);

    std::vector<unsigned> buttons;
    for (const RecordedXEvent& e : recorder->eventsOf(Kind::ButtonDown)) {
        buttons.push_back(e.detail);
        EXPECT_TRUE(e.state & ControlMask);
    }
    EXPECT_EQ(buttons, (std::vector<unsigned>{4, 4, 5}));
    EXPECT_EQ(pressedKeysyms(*recorder), (std::vector<std::uint32_t>{XK_Control_L}));
    expectNothingHeld(*recorder);
}

TEST_F(XTestEventSinkTest, ClosingReleasesWhatIsHeld)
{
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {20, 20}, EventFlags::Shift, 1);
    sink->postKey(0, true, 0);
    sink->postMagnify(0.0, 1, {20, 20});
    sink.reset();
    ASSERT_TRUE(recorder->waitUntil([](const XEventRecorder& r) {
        return r.eventsOf(Kind::ButtonUp).size() == 1 && r.eventsOf(Kind::KeyUp).size() == 3;
    }));
    expectNothingHeld(*recorder);
}

} // namespace

#include "platform/linux/XErrors.h"

namespace {

TEST_F(XTestEventSinkTest, AnXProtocolErrorIsLoggedNotFatal)
{
    // The sink installed the logger; a bad request on any Xlib connection
    // of the process must not end it.
    Display* display = XOpenDisplay(server.displayName().constData());
    ASSERT_TRUE(display);
    XMapWindow(display, 0x1fffff0);
    XSync(display, False);
    XCloseDisplay(display);
    sink->warpCursor({1, 1});
    ASSERT_TRUE(waitForKind(Kind::Motion, 1));
}

} // namespace

#include "tests/support/AllocationCounter.h"

namespace {

TEST_F(XTestEventSinkTest, PointerAndScrollEventsAllocateNothing)
{
    const auto drag = [&] {
        sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 10}, EventFlags::Shift, 1);
        sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {20, 10}, EventFlags::Shift, 1);
        sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {20, 10}, EventFlags::Shift, 1);
        sink->warpCursor({30, 30});
        sink->postScrollWheel(30, -30, 0);
    };
    drag();
    sink->sync();
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 10; ++i)
        drag();
    EXPECT_EQ(scope.count(), 0u);
}

} // namespace
