#include "platform/linux/UinputEventSink.h"

#include "base/ManualScheduler.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/FakeEvdevDevice.h"
#include "tests/support/KeyComboScript.h"
#include "tests/support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

namespace {

using Words = std::vector<std::string>;

std::string key(int code, const char* what)
{
    return "key " + std::to_string(code) + " " + what;
}

// Two monitors, the left one left of the origin.
const QRect kDesktop(-1920, 0, 3840, 1080);

class UinputEventSinkTest : public ::testing::Test {
protected:
    ManualScheduler scheduler{0.0};
    FakeEvdevDevice pointer{UinputEventSink::pointerLayout()};
    FakeEvdevDevice keyboard{UinputEventSink::keyboardLayout()};
    FakeDesktop desktop{pointer, keyboard, kDesktop};
    std::unique_ptr<UinputEventSink> sink =
        std::make_unique<UinputEventSink>(pointer.writeEnd(), keyboard.writeEnd(), kDesktop);

    void click(QPointF at, std::uint64_t flags = 0)
    {
        sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, at, flags, 1);
        desktop.pump();
        sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, at, flags, 1);
        desktop.pump();
    }
};

TEST_F(UinputEventSinkTest, PointerIsAbsoluteOverTheDesktopAndButtonsPressWhereItIsForLeftHandedUsersToo)
{
    // The udev rule makes the device that clicks a keyboard only, with no
    // left-handed option; without it the desktop would swap the buttons.
    ASSERT_FALSE(keyboard.udevProperties().contains("ID_INPUT_MOUSE"));
    desktop.setLeftHanded(true);
    sink->warpCursor({100.7, 50.2});
    sink->warpCursor({5000, -10}); // clamped to the last pixel and the top
    EXPECT_EQ(desktop.seen(), (Words{"move 100,50", "move 1919,0"}));

    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 20}, EventFlags::Shift, 1);
    EXPECT_EQ(desktop.seen(), (Words{"move 10,20", key(KEY_LEFTSHIFT, "down"), "left down"}));
    EXPECT_EQ(desktop.pressPositions().back(), QPoint(10, 20));
    // Every event puts the pointer where it happens, the same place too.
    sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    EXPECT_EQ(desktop.seen(), (Words{"move 15,20", "move 15,20", "left up", key(KEY_LEFTSHIFT, "up")}));

    const QPointF origin(-1920, 0);
    sink->postMouseEvent(MouseEventType::RightDown, MouseButton::Right, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::RightUp, MouseButton::Right, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherDown, MouseButton::Center, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, origin, 0, 0); // not held: no release
    EXPECT_EQ(desktop.seen(), (Words{"move -1920,0", "move -1920,0", "move -1920,0", "move -1920,0", "move -1920,0",
                                     "right down", "right up", "middle down", "middle up"}));
}

TEST_F(UinputEventSinkTest, EveryPositionTakesEffectAlthoughTheKernelDropsRepeatedValues)
{
    click({500, 300});
    desktop.moveMouse({-1000, 900}); // the user's mouse takes the pointer away
    click({500, 300});              // the same pixel again
    ASSERT_EQ(desktop.pressPositions().size(), 2u);
    EXPECT_EQ(desktop.pressPositions()[1], QPoint(500, 300));

    // Moving on within the same pixel is no movement at all.
    sink->warpCursor({500.6, 300.2});
    EXPECT_EQ(desktop.pointerPosition(), QPoint(500, 300));
}

TEST_F(UinputEventSinkTest, PositionsFollowANewMonitorArrangementWithoutANewDevice)
{
    sink->warpCursor({1000, 500});
    EXPECT_EQ(desktop.pointerPosition(), QPoint(1000, 500));

    // The left monitor unplugged: the desktop is one 1920x1080 monitor now.
    const QRect single(0, 0, 1920, 1080);
    sink->setDesktop(single);
    desktop.setDesktop(single);
    for (const QPoint at : {QPoint(1000, 500), QPoint(0, 0), QPoint(1919, 1079), QPoint(1, 1)}) {
        sink->warpCursor(at);
        EXPECT_EQ(desktop.pointerPosition(), at);
    }
}

TEST_F(UinputEventSinkTest, ScrollIsHighResolutionWithWholeStepsZoomIsControlWithTheWheelAndNeitherAllocates)
{
    sink->postScrollWheel(24, 0, 0);  // half a step: 60 units
    sink->postScrollWheel(24, 0, 0);  // the other half completes a step
    sink->postScrollWheel(0, 48, 0);  // one step left is negative REL_HWHEEL
    sink->postScrollWheel(1, 0, 0);   // 2.5 units: 2 now, the half carried
    sink->postScrollWheel(1, 0, 0);   // 3
    sink->postScrollWheel(-48, 0, 0); // reversal: a whole step down at once
    sink->postScrollWheel(0, 0, EventFlags::Control); // nothing to post, no modifier either
    EXPECT_EQ(desktop.seen(), (Words{"wheelHi=60", "wheelHi=60 wheel=1", "hwheelHi=-120 hwheel=-1", "wheelHi=2",
                                     "wheelHi=3", "wheelHi=-120 wheel=-1"}));

    sink->postMagnify(0.0, 1, {0, 0});
    sink->postMagnify(0.45, 2, {0, 0});
    sink->postMagnify(0.0, 8, {0, 0});
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_LEFTCTRL, "down"), "wheelHi=240 wheel=2", key(KEY_LEFTCTRL, "up")}));

    // Pointer, scroll and zoom events allocate nothing.
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 10; ++i) {
        sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 10}, EventFlags::Shift, 1);
        sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {20, 10}, EventFlags::Shift, 1);
        sink->postScrollWheel(30, -30, 0);
        sink->postMagnify(0.3, 2, {30, 30});
    }
    EXPECT_EQ(scope.count(), 0u);
}

TEST_F(UinputEventSinkTest, KeysCombosRepeatsMediaKeysTextAndClosing)
{
    postShiftCommandOne(*sink);
    sink->postKey(0x100, true, 0); // Super as a key of its own
    sink->postKey(0x100, false, 0);
    sink->postKey(999, true, 0);   // unknown: nothing
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_LEFTSHIFT, "down"), key(KEY_LEFTMETA, "down"), key(KEY_1, "down"),
                                     key(KEY_1, "up"), key(KEY_LEFTMETA, "up"), key(KEY_LEFTSHIFT, "up"),
                                     key(KEY_LEFTMETA, "down"), key(KEY_LEFTMETA, "up")}));

    // A held key pressed again types again: desktops ignore the kernel's
    // repeat events from virtual devices.
    sink->postKey(0, true, 0);
    sink->postKey(0, true, 0);
    sink->postKey(0, false, 0);
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_A, "down"), key(KEY_A, "up"), key(KEY_A, "down"), key(KEY_A, "up")}));

    // A flag's modifier kept down by a media key goes up with the media key.
    sink->postKey(0, true, EventFlags::Shift);
    sink->postMediaKey(0, true);
    sink->postKey(0, false, EventFlags::Shift);
    sink->postMediaKey(0, false);
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_LEFTSHIFT, "down"), key(KEY_A, "down"), key(KEY_VOLUMEUP, "down"),
                                     key(KEY_A, "up"), key(KEY_VOLUMEUP, "up"), key(KEY_LEFTSHIFT, "up")}));

    // ASCII types through the US positions; anything else cannot be typed.
    const std::u16string text = u"aA!\nä";
    sink->postUnicodeText(text.data(), static_cast<int>(text.size()), 0);
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_A, "down"), key(KEY_A, "up"), key(KEY_LEFTSHIFT, "down"),
                                     key(KEY_A, "down"), key(KEY_A, "up"), key(KEY_LEFTSHIFT, "up"),
                                     key(KEY_LEFTSHIFT, "down"), key(KEY_1, "down"), key(KEY_1, "up"),
                                     key(KEY_LEFTSHIFT, "up"), key(KEY_ENTER, "down"), key(KEY_ENTER, "up")}));
    for (char32_t c = 0x20; c < 0x7f; ++c)
        EXPECT_TRUE(UinputEventSink::keyStrokeForCharacter(c)) << char(c);
    EXPECT_FALSE(UinputEventSink::keyStrokeForCharacter(0x7f));

    // Closing lets go of keys, then buttons, then modifiers.
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {0, 0}, EventFlags::Option, 1);
    sink->postKey(0, true, EventFlags::Option);
    sink->postMagnify(0.0, 1, {0, 0});
    desktop.seen();
    sink.reset();
    EXPECT_EQ(desktop.seen(), (Words{key(KEY_A, "up"), "left up", key(KEY_LEFTALT, "up"), key(KEY_LEFTCTRL, "up")}));
}

// udev's view of new virtual devices: the event node in sysfs, and the
// database entry udev writes once it has run its rules.
class FakeUdev {
public:
    VirtualDevicePaths paths() const { return {m_dir.filePath("sys"), m_dir.filePath("udev")}; }
    void announce(const QString& sysName, int minor)
    {
        const QString eventDir = m_dir.filePath(QStringLiteral("sys/devices/virtual/input/%1/event%2").arg(sysName).arg(minor));
        writeTestFile(eventDir + "/dev", QByteArray("13:") + QByteArray::number(64 + minor) + '\n');
        writeTestFile(m_dir.filePath(QStringLiteral("udev/c13:%1").arg(64 + minor)), "E:ID_INPUT=1\n");
    }

private:
    QTemporaryDir m_dir;
};

TEST_F(UinputEventSinkTest, InputPostedBeforeTheDesktopHasTheDevicesArrivesOnceItHasThem)
{
    FakeUdev udev;
    sink->holdUntilReady(scheduler, {"input40", "input41"}, udev.paths());

    // A replay's first tap, right after the devices were made.
    click({300, 200}, EventFlags::Shift);
    scheduler.advance(0.5);
    EXPECT_TRUE(desktop.seen().empty());

    udev.announce("input40", 10);
    scheduler.advance(0.1);
    EXPECT_FALSE(sink->isReady()); // the keyboard is not announced yet
    udev.announce("input41", 11);
    scheduler.advance(2 * VirtualDeviceReadiness::kPollInterval);
    EXPECT_TRUE(desktop.seen().empty()); // the desktop is still opening them
    scheduler.advance(VirtualDeviceReadiness::kOpenGrace);
    EXPECT_TRUE(sink->isReady());
    EXPECT_EQ(desktop.seen(), (Words{"move 300,200", "move 300,200", key(KEY_LEFTSHIFT, "down"), "left down",
                                     "left up", key(KEY_LEFTSHIFT, "up")}));
    click({300, 200});
    EXPECT_EQ(desktop.pressPositions(), (std::vector<QPoint>{{300, 200}, {300, 200}}));
}

TEST_F(UinputEventSinkTest, WithoutUdevInputIsHeldOnlyForAMomentAndAFloodIsCutShort)
{
    FakeUdev udev;
    sink->holdUntilReady(scheduler, {"input40", ""}, udev.paths());
    // More than can be held: the oldest are kept, and the position the
    // kernel holds is no longer known.
    for (std::size_t i = 0; i < UinputEventSink::kHeldEventCapacity; ++i)
        sink->warpCursor({double(i % 100), 0});
    scheduler.advance(VirtualDeviceReadiness::kLongestWait - 0.05);
    EXPECT_TRUE(desktop.seen().empty());
    scheduler.advance(0.1);
    EXPECT_TRUE(sink->isReady());
    EXPECT_EQ(desktop.seen().size(), UinputEventSink::kHeldEventCapacity / 3);
    desktop.moveMouse({-1000, 0});
    click({double((UinputEventSink::kHeldEventCapacity / 3 - 1) % 100), 0});
    EXPECT_EQ(desktop.pressPositions().back(), QPoint((UinputEventSink::kHeldEventCapacity / 3 - 1) % 100, 0));
}

} // namespace
