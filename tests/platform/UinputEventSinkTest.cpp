#include "platform/linux/UinputEventSink.h"
#include "tests/support/AllocationCounter.h"
#include "tests/support/KeyComboScript.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <map>
#include <string>

namespace {

using Words = std::vector<std::string>;

// A pipe stands in for each device; events read back as short words:
// "SYN", "X=10", "Y=20", "wheel=1", "wheelHi=120", "hwheel=-1",
// "hwheelHi=-120" and "<KEY code>=<value>".
class Pipe {
public:
    Pipe() { EXPECT_EQ(pipe2(m_fds, O_NONBLOCK | O_CLOEXEC), 0); }
    ~Pipe()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int writeEnd() const { return m_fds[1]; }

    Words take()
    {
        static const std::map<std::pair<int, int>, std::string> kNames = {
            {{EV_ABS, ABS_X}, "X"}, {{EV_ABS, ABS_Y}, "Y"}, {{EV_REL, REL_WHEEL}, "wheel"},
            {{EV_REL, REL_WHEEL_HI_RES}, "wheelHi"}, {{EV_REL, REL_HWHEEL}, "hwheel"},
            {{EV_REL, REL_HWHEEL_HI_RES}, "hwheelHi"}};
        Words words;
        input_event e;
        while (::read(m_fds[0], &e, sizeof e) == sizeof e) {
            const auto name = kNames.find({e.type, e.code});
            if (e.type == EV_SYN && e.code == SYN_REPORT)
                words.push_back("SYN");
            else
                words.push_back((e.type == EV_KEY ? std::to_string(e.code) : name != kNames.end() ? name->second : "?")
                                + "=" + std::to_string(e.value));
        }
        return words;
    }

private:
    int m_fds[2] = {-1, -1};
};

// A key event and its report.
Words key(int code, int value)
{
    return {std::to_string(code) + "=" + std::to_string(value), "SYN"};
}
Words operator+(Words a, const Words& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class UinputEventSinkTest : public ::testing::Test {
protected:
    Pipe pointer;
    Pipe keyboard;
    // A desktop whose left monitor lies left of the origin.
    std::unique_ptr<UinputEventSink> sink =
        std::make_unique<UinputEventSink>(pointer.writeEnd(), keyboard.writeEnd(), QRect(-1920, 0, 3840, 1080));
};

TEST_F(UinputEventSinkTest, PointerIsAbsoluteOverTheDesktopAndButtonsPressWhereItIs)
{
    sink->warpCursor({100.7, 50.2});
    sink->warpCursor({5000, -10}); // clamped to the last pixel and the top
    EXPECT_EQ(pointer.take(), (Words{"X=2020", "Y=50", "SYN", "X=3839", "Y=0", "SYN"}));

    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 20}, EventFlags::Shift, 1);
    sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    EXPECT_EQ(keyboard.take(), key(KEY_LEFTSHIFT, 1)); // held for the whole click
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    const Words at1930{"X=1930", "Y=20", "SYN"}, at1935{"X=1935", "Y=20", "SYN"};
    EXPECT_EQ(pointer.take(), at1930 + key(BTN_LEFT, 1) + at1935 + at1935 + key(BTN_LEFT, 0));
    EXPECT_EQ(keyboard.take(), key(KEY_LEFTSHIFT, 0));

    const QPointF origin(-1920, 0);
    sink->postMouseEvent(MouseEventType::RightDown, MouseButton::Right, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::RightUp, MouseButton::Right, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherDown, MouseButton::Center, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, origin, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, origin, 0, 0); // not held: no release
    const Words at0{"X=0", "Y=0", "SYN"};
    EXPECT_EQ(pointer.take(), at0 + key(BTN_RIGHT, 1) + at0 + key(BTN_RIGHT, 0) + at0 + key(BTN_MIDDLE, 1) + at0
                                  + key(BTN_MIDDLE, 0) + at0);
    EXPECT_TRUE(keyboard.take().empty());
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
    EXPECT_EQ(pointer.take(), (Words{"wheelHi=60", "SYN", "wheelHi=60", "wheel=1", "SYN",
                                     "hwheelHi=-120", "hwheel=-1", "SYN", "wheelHi=2", "SYN", "wheelHi=3", "SYN",
                                     "wheelHi=-120", "wheel=-1", "SYN"}));
    EXPECT_TRUE(keyboard.take().empty());

    sink->postMagnify(0.0, 1, {0, 0});
    sink->postMagnify(0.45, 2, {0, 0});
    sink->postMagnify(0.0, 8, {0, 0});
    EXPECT_EQ(keyboard.take(), key(KEY_LEFTCTRL, 1) + key(KEY_LEFTCTRL, 0));
    EXPECT_EQ(pointer.take(), (Words{"wheelHi=240", "wheel=2", "SYN"}));

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

TEST_F(UinputEventSinkTest, KeysCombosMediaKeysTextAndClosing)
{
    postShiftCommandOne(*sink);
    sink->postKey(0x100, true, 0); // Super as a key of its own
    sink->postKey(0x100, false, 0);
    sink->postKey(999, true, 0);   // unknown: nothing
    EXPECT_EQ(keyboard.take(), key(KEY_LEFTSHIFT, 1) + key(KEY_LEFTMETA, 1) + key(KEY_1, 1) + key(KEY_1, 0)
                                   + key(KEY_LEFTMETA, 0) + key(KEY_LEFTSHIFT, 0) + key(KEY_LEFTMETA, 1)
                                   + key(KEY_LEFTMETA, 0));

    // A flag's modifier kept down by a media key goes up with the media key.
    sink->postKey(0, true, EventFlags::Shift);
    sink->postMediaKey(0, true);
    sink->postKey(0, false, EventFlags::Shift);
    sink->postMediaKey(0, false);
    EXPECT_EQ(keyboard.take(), key(KEY_LEFTSHIFT, 1) + key(KEY_A, 1) + key(KEY_VOLUMEUP, 1) + key(KEY_A, 0)
                                   + key(KEY_VOLUMEUP, 0) + key(KEY_LEFTSHIFT, 0));

    // ASCII types through the US positions; anything else cannot be typed.
    const std::u16string text = u"aA!\nä";
    sink->postUnicodeText(text.data(), static_cast<int>(text.size()), 0);
    EXPECT_EQ(keyboard.take(), key(KEY_A, 1) + key(KEY_A, 0) + key(KEY_LEFTSHIFT, 1) + key(KEY_A, 1) + key(KEY_A, 0)
                                   + key(KEY_LEFTSHIFT, 0) + key(KEY_LEFTSHIFT, 1) + key(KEY_1, 1) + key(KEY_1, 0)
                                   + key(KEY_LEFTSHIFT, 0) + key(KEY_ENTER, 1) + key(KEY_ENTER, 0));
    for (char32_t c = 0x20; c < 0x7f; ++c)
        EXPECT_TRUE(UinputEventSink::keyStrokeForCharacter(c)) << char(c);
    EXPECT_FALSE(UinputEventSink::keyStrokeForCharacter(0x7f));

    // Closing lets go of keys, then buttons, then modifiers.
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {0, 0}, EventFlags::Option, 1);
    sink->postKey(0, true, EventFlags::Option);
    sink->postMagnify(0.0, 1, {0, 0});
    keyboard.take();
    pointer.take();
    sink.reset();
    EXPECT_EQ(keyboard.take(), key(KEY_A, 0) + key(KEY_LEFTALT, 0) + key(KEY_LEFTCTRL, 0));
    EXPECT_EQ(pointer.take(), key(BTN_LEFT, 0));
}

} // namespace
