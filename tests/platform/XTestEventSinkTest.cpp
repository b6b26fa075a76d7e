#include "base/QtScheduler.h"
#include "platform/linux/XTestEventSink.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/KeyComboScript.h"
#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <gtest/gtest.h>

#include <X11/XF86keysym.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using Kind = RecordedXEvent::Kind;
using Keysyms = std::vector<std::uint32_t>;
using Buttons = std::vector<unsigned>;

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

    // Waits for count events of a kind, then reads a little longer so that
    // anything extra shows.
    bool waitForKind(Kind kind, std::size_t count)
    {
        sink->sync();
        const bool arrived =
            recorder->waitUntil([&](const XEventRecorder& r) { return r.eventsOf(kind).size() >= count; });
        recorder->settle(100);
        return arrived;
    }
    // Press at from, drag to to, release there.
    void click(MouseButton button, QPointF from, QPointF to, std::uint64_t flags)
    {
        using T = MouseEventType;
        static constexpr T kTypes[3][3] = {{T::LeftDown, T::LeftDragged, T::LeftUp},
                                           {T::RightDown, T::RightDragged, T::RightUp},
                                           {T::OtherDown, T::OtherDragged, T::OtherUp}};
        const auto& types = kTypes[static_cast<int>(button)];
        sink->postMouseEvent(types[0], button, from, flags, 1);
        sink->postMouseEvent(types[1], button, to, flags, 1);
        sink->postMouseEvent(types[2], button, to, flags, 1);
    }

    XvfbServer server{1280, 800};
    QtScheduler scheduler;
    std::unique_ptr<XEventRecorder> recorder;
    std::unique_ptr<XTestEventSink> sink;
};

// How the shared behaviour (modifiers held while needed, carried wheel
// remainders, zoom) is assembled is the uinput sink's test; here what X
// makes of it: button and wheel numbers, root pixels, modifier keysyms.
TEST_F(XTestEventSinkTest, ButtonsAndWheelStepsReachXAsItsButtonsWithModifiersAndAllocateNothing)
{
    const std::uint64_t shiftOption = EventFlags::Shift | EventFlags::Option;
    click(MouseButton::Left, {300, 400}, {350.6, 420.2}, shiftOption);
    click(MouseButton::Right, {10, 20}, {10, 20}, 0);
    click(MouseButton::Center, {30, 40}, {31, 41}, 0);
    sink->postScrollWheel(48, 0, 0);
    sink->postScrollWheel(-48, 0, 0);
    sink->postScrollWheel(0, 48, EventFlags::Control);
    sink->postScrollWheel(0, -48, 0);
    ASSERT_TRUE(waitForKind(Kind::ButtonUp, 7));

    EXPECT_EQ(recorder->buttonsPressed(), (Buttons{1, 3, 2, 4, 5, 6, 7}));
    const auto presses = recorder->eventsOf(Kind::ButtonDown);
    const auto releases = recorder->eventsOf(Kind::ButtonUp);
    EXPECT_EQ(QPoint(presses[0].x, presses[0].y), QPoint(300, 400));
    EXPECT_EQ(QPoint(releases[0].x, releases[0].y), QPoint(350, 420)); // the pixel containing the point
    const unsigned mods = ShiftMask | Mod1Mask | ControlMask;
    for (const RecordedXEvent& e : presses)
        EXPECT_EQ(e.state & mods, e.detail == 1 ? unsigned(ShiftMask | Mod1Mask) : e.detail == 6 ? unsigned(ControlMask) : 0u)
            << e.detail;
    EXPECT_EQ(recorder->keysymsPressed(), (Keysyms{XK_Shift_L, XK_Alt_L, XK_Control_L}));
    EXPECT_TRUE(recorder->nothingHeld());

    // Once warm, pointer and scroll events allocate nothing.
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 10; ++i) {
        click(MouseButton::Left, {10, 10}, {20, 10}, shiftOption);
        sink->warpCursor({30, 30});
        sink->postScrollWheel(30, -30, 0);
    }
    EXPECT_EQ(scope.count(), 0u);
}

// The order of modifiers and keys is the uinput sink's test; here the keysyms.
TEST_F(XTestEventSinkTest, KeysCombosAndMediaKeys)
{
    sink->postKey(53, true, 0);
    sink->postKey(53, false, 0);
    postShiftCommandOne(*sink);
    sink->postKey(8, true, EventFlags::Control);
    sink->postKey(8, false, EventFlags::Control);
    for (int media : {0, 1}) {
        sink->postMediaKey(media, true);
        sink->postMediaKey(media, false);
    }
    sink->postKey(0x101, true, 0); // Print
    sink->postKey(0x101, false, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyUp, 9));

    EXPECT_EQ(recorder->keysymsPressed(),
              (Keysyms{XK_Escape, XK_Shift_L, XK_Super_L, XK_1, XK_Control_L, XK_c, XF86XK_AudioRaiseVolume,
                       XF86XK_AudioLowerVolume, XK_Print}));
    EXPECT_TRUE(recorder->nothingHeld());
}

TEST_F(XTestEventSinkTest, KeymapChangedByAnotherClientIsFollowed)
{
    // Another client moves "c" to a keycode that had nothing.
    Display* display = XOpenDisplay(server.displayName().constData());
    ASSERT_TRUE(display);
    const KeyCode oldKeycode = XKeysymToKeycode(display, XK_c);
    int minKeycode = 0, maxKeycode = 0, perKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    KeySym* map = XGetKeyboardMapping(display, KeyCode(minKeycode), maxKeycode - minKeycode + 1, &perKeycode);
    int newKeycode = minKeycode;
    while (newKeycode < maxKeycode && map[(newKeycode - minKeycode) * perKeycode] != NoSymbol)
        ++newKeycode;
    XFree(map);
    KeySym none[2] = {NoSymbol, NoSymbol};
    KeySym c[2] = {XK_c, XK_C};
    XChangeKeyboardMapping(display, oldKeycode, 2, none, 1);
    XChangeKeyboardMapping(display, newKeycode, 2, c, 1);
    XSync(display, False);
    XCloseDisplay(display);
    recorder->settle(200); // the sink hears of it while the event loop runs


    sink->postKey(8, true, 0);
    sink->postKey(8, false, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyUp, 1));
    EXPECT_EQ(recorder->keysymsPressed(), Keysyms{XK_c});
    EXPECT_EQ(recorder->eventsOf(Kind::KeyDown).front().detail, unsigned(newKeycode));
}

TEST_F(XTestEventSinkTest, EventsReachTheServerWhenPostedOrWhenTheirFrameEnds)
{
    // No sync: what a frame posts must not wait in a buffer.
    sink->beginFrame();
    sink->warpCursor({200, 100});
    sink->beginFrame();
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {210, 100}, 0, 1);
    sink->endFrame();
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {220, 100}, 0, 1);
    sink->endFrame();
    EXPECT_TRUE(recorder->waitUntil([](const XEventRecorder& r) { return r.eventsOf(Kind::ButtonUp).size() == 1; }));
    sink->postScrollWheel(48, 0, 0);
    EXPECT_TRUE(recorder->waitUntil([](const XEventRecorder& r) { return r.pressesOf(4).size() == 1; }));
}

TEST_F(XTestEventSinkTest, AnyCharacterTypesThroughABorrowedKeycode)
{
    const std::u16string text = u"ä€¿aßøπ😀"; // a surrogate pair too
    sink->postUnicodeText(text.data(), 4, 0);
    sink->postUnicodeText(text.data() + 4, 5, 0);
    EXPECT_GT(sink->borrowedKeycodeCount(), 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 8));
    EXPECT_EQ(recorder->typedText(), QStringLiteral("ä€¿aßøπ😀"));

    // More characters than spare keycodes: the oldest are reused after the
    // wait, and clients still read every one correctly.
    recorder->clear();
    const std::u16string more = u"àáâãåæçèéêëìíîïð";
    sink->postUnicodeText(more.data(), 8, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 8));
    sink->postUnicodeText(more.data() + 8, 8, 0);
    ASSERT_TRUE(waitForKind(Kind::KeyDown, 16));
    EXPECT_EQ(recorder->typedText(), QString::fromStdU16String(more));

    // The keymap is given back shortly after.
    EXPECT_TRUE(recorder->waitUntil([&](const XEventRecorder&) { return sink->borrowedKeycodeCount() == 0; }));
    EXPECT_TRUE(recorder->nothingHeld());
}

TEST_F(XTestEventSinkTest, ClosingReleasesWhatIsHeldAndXErrorsAreNotFatal)
{
    // The sink installed the logger; a bad request on any Xlib connection
    // of the process must not end it.
    Display* display = XOpenDisplay(server.displayName().constData());
    ASSERT_TRUE(display);
    XMapWindow(display, 0x1fffff0);
    XSync(display, False);
    XCloseDisplay(display);

    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {20, 20}, EventFlags::Shift, 1);
    sink->postKey(0, true, 0);
    sink->postMagnify(0.0, 1, {20, 20});
    sink.reset();
    ASSERT_TRUE(recorder->waitUntil([](const XEventRecorder& r) {
        return r.eventsOf(Kind::ButtonUp).size() == 1 && r.eventsOf(Kind::KeyUp).size() == 3;
    }));
    EXPECT_TRUE(recorder->nothingHeld());
}

} // namespace
