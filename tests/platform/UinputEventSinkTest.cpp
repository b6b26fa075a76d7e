#include "platform/linux/UinputEventSink.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <string>

namespace {

// A pipe stands in for each device; events read back as short words:
// "SYN", "X=10", "Y=20", "wheel=1", "wheelHi=120", "hwheel=-1",
// "hwheelHi=-120" and "<KEY code>=<value>".
class Pipe {
public:
    Pipe()
    {
        if (pipe2(m_fds, O_NONBLOCK | O_CLOEXEC) != 0)
            m_fds[0] = m_fds[1] = -1;
    }
    ~Pipe()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int writeEnd() const { return m_fds[1]; }

    std::vector<std::string> take()
    {
        std::vector<std::string> words;
        input_event event;
        while (::read(m_fds[0], &event, sizeof event) == sizeof event)
            words.push_back(describe(event));
        return words;
    }

private:
    static std::string describe(const input_event& e)
    {
        const std::string value = std::to_string(e.value);
        switch (e.type) {
        case EV_SYN:
            return e.code == SYN_REPORT ? "SYN" : "SYN?";
        case EV_ABS:
            return (e.code == ABS_X ? "X=" : e.code == ABS_Y ? "Y=" : "ABS?=") + value;
        case EV_REL:
            switch (e.code) {
            case REL_WHEEL: return "wheel=" + value;
            case REL_WHEEL_HI_RES: return "wheelHi=" + value;
            case REL_HWHEEL: return "hwheel=" + value;
            case REL_HWHEEL_HI_RES: return "hwheelHi=" + value;
            default: return "REL?=" + value;
            }
        case EV_KEY:
            return std::to_string(e.code) + "=" + value;
        default:
            return "?";
        }
    }

    int m_fds[2];
};

using Words = std::vector<std::string>;

std::string keyWord(int code, int value)
{
    return std::to_string(code) + "=" + std::to_string(value);
}

class UinputEventSinkTest : public ::testing::Test {
protected:
    Pipe pointer;
    Pipe keyboard;
    // A desktop whose left monitor lies left of the origin.
    std::unique_ptr<UinputEventSink> sink =
        std::make_unique<UinputEventSink>(pointer.writeEnd(), keyboard.writeEnd(), QRect(-1920, 0, 3840, 1080));
};

TEST_F(UinputEventSinkTest, PointerPositionsAreAbsoluteOverTheWholeDesktop)
{
    sink->warpCursor({100.7, 50.2});
    sink->warpCursor({-1920, 0});
    sink->warpCursor({5000, -10}); // clamped to the last pixel and the top
    EXPECT_EQ(pointer.take(), (Words{"X=2020", "Y=50", "SYN", "X=0", "Y=0", "SYN", "X=3839", "Y=0", "SYN"}));
    EXPECT_TRUE(keyboard.take().empty());
}

TEST_F(UinputEventSinkTest, ButtonsMoveFirstThenPressWithModifiersAroundTheClick)
{
    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 20}, EventFlags::Shift, 1);
    sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_LEFTSHIFT, 1), "SYN"})); // still held
    sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {15, 20}, EventFlags::Shift, 1);
    EXPECT_EQ(pointer.take(), (Words{"X=1930", "Y=20", "SYN", keyWord(BTN_LEFT, 1), "SYN",
                                     "X=1935", "Y=20", "SYN",
                                     "X=1935", "Y=20", "SYN", keyWord(BTN_LEFT, 0), "SYN"}));
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_LEFTSHIFT, 0), "SYN"}));

    sink->postMouseEvent(MouseEventType::RightDown, MouseButton::Right, {0, 0}, 0, 0);
    sink->postMouseEvent(MouseEventType::RightUp, MouseButton::Right, {0, 0}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherDown, MouseButton::Center, {0, 0}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, {0, 0}, 0, 0);
    sink->postMouseEvent(MouseEventType::OtherUp, MouseButton::Center, {0, 0}, 0, 0); // not held: no press
    Words buttons;
    for (const std::string& word : pointer.take()) {
        if (word.find("=") != std::string::npos && word[0] >= '0' && word[0] <= '9')
            buttons.push_back(word);
    }
    EXPECT_EQ(buttons, (Words{keyWord(BTN_RIGHT, 1), keyWord(BTN_RIGHT, 0), keyWord(BTN_MIDDLE, 1),
                              keyWord(BTN_MIDDLE, 0)}));
    EXPECT_TRUE(keyboard.take().empty());
}

TEST_F(UinputEventSinkTest, ScrollGoesOutInHighResolutionWithWholeStepsAlongside)
{
    sink->postScrollWheel(24, 0, 0);  // half a step: 60 units
    sink->postScrollWheel(24, 0, 0);  // the other half completes a step
    sink->postScrollWheel(0, 48, 0);  // one step left is negative REL_HWHEEL
    sink->postScrollWheel(1, 0, 0);   // 2.5 units: 2 now, the half carried
    sink->postScrollWheel(1, 0, 0);   // 3
    sink->postScrollWheel(-48, 0, 0); // reversal: a whole step down at once
    EXPECT_EQ(pointer.take(), (Words{"wheelHi=60", "SYN",
                                     "wheelHi=60", "wheel=1", "SYN",
                                     "hwheelHi=-120", "hwheel=-1", "SYN",
                                     "wheelHi=2", "SYN",
                                     "wheelHi=3", "SYN",
                                     "wheelHi=-120", "wheel=-1", "SYN"}));
    sink->postScrollWheel(0, 0, EventFlags::Control); // nothing to post, no modifier either
    EXPECT_TRUE(pointer.take().empty());
    EXPECT_TRUE(keyboard.take().empty());
}

TEST_F(UinputEventSinkTest, KeysCombosMediaKeysAndText)
{
    sink->postKey(53, true, 0);
    sink->postKey(53, false, 0);
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_ESC, 1), "SYN", keyWord(KEY_ESC, 0), "SYN"}));

    const std::uint64_t shiftCommand = EventFlags::Shift | EventFlags::Command;
    sink->postKey(56, true, EventFlags::Shift);
    sink->postKey(55, true, shiftCommand);
    sink->postKey(18, true, shiftCommand);
    sink->postKey(18, false, shiftCommand);
    sink->postKey(55, false, EventFlags::Shift);
    sink->postKey(56, false, 0);
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_LEFTSHIFT, 1), "SYN", keyWord(KEY_LEFTMETA, 1), "SYN",
                                      keyWord(KEY_1, 1), "SYN", keyWord(KEY_1, 0), "SYN",
                                      keyWord(KEY_LEFTMETA, 0), "SYN", keyWord(KEY_LEFTSHIFT, 0), "SYN"}));

    sink->postMediaKey(1, true);
    sink->postMediaKey(1, false);
    sink->postKey(0x100, true, 0); // Super as a key of its own
    sink->postKey(0x100, false, 0);
    sink->postKey(999, true, 0);   // unknown: nothing
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_VOLUMEDOWN, 1), "SYN", keyWord(KEY_VOLUMEDOWN, 0), "SYN",
                                      keyWord(KEY_LEFTMETA, 1), "SYN", keyWord(KEY_LEFTMETA, 0), "SYN"}));
    // A flag's modifier kept down by a media key goes up with the media key.
    sink->postKey(0, true, EventFlags::Shift);
    sink->postMediaKey(0, true);
    sink->postKey(0, false, EventFlags::Shift);
    sink->postMediaKey(0, false);
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_LEFTSHIFT, 1), "SYN", keyWord(KEY_A, 1), "SYN",
                                      keyWord(KEY_VOLUMEUP, 1), "SYN", keyWord(KEY_A, 0), "SYN",
                                      keyWord(KEY_VOLUMEUP, 0), "SYN", keyWord(KEY_LEFTSHIFT, 0), "SYN"}));

    // ASCII types through the US positions; anything else cannot be typed.
    const std::u16string text = u"aA!\nä";
    sink->postUnicodeText(text.data(), static_cast<int>(text.size()), 0);
    EXPECT_EQ(keyboard.take(),
              (Words{keyWord(KEY_A, 1), "SYN", keyWord(KEY_A, 0), "SYN",
                     keyWord(KEY_LEFTSHIFT, 1), "SYN", keyWord(KEY_A, 1), "SYN", keyWord(KEY_A, 0), "SYN",
                     keyWord(KEY_LEFTSHIFT, 0), "SYN",
                     keyWord(KEY_LEFTSHIFT, 1), "SYN", keyWord(KEY_1, 1), "SYN", keyWord(KEY_1, 0), "SYN",
                     keyWord(KEY_LEFTSHIFT, 0), "SYN",
                     keyWord(KEY_ENTER, 1), "SYN", keyWord(KEY_ENTER, 0), "SYN"}));
    EXPECT_TRUE(pointer.take().empty());
}

TEST_F(UinputEventSinkTest, MagnifyIsControlWithWheelStepsAndClosingReleasesEverything)
{
    sink->postMagnify(0.0, 1, {0, 0});
    sink->postMagnify(0.45, 2, {0, 0});
    sink->postMagnify(0.0, 8, {0, 0});
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_LEFTCTRL, 1), "SYN", keyWord(KEY_LEFTCTRL, 0), "SYN"}));
    EXPECT_EQ(pointer.take(), (Words{"wheelHi=240", "wheel=2", "SYN"}));

    sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {0, 0}, EventFlags::Option, 1);
    sink->postKey(0, true, EventFlags::Option);
    sink->postMagnify(0.0, 1, {0, 0});
    keyboard.take();
    pointer.take();
    sink.reset();
    EXPECT_EQ(keyboard.take(), (Words{keyWord(KEY_A, 0), "SYN", keyWord(KEY_LEFTALT, 0), "SYN",
                                      keyWord(KEY_LEFTCTRL, 0), "SYN"}));
    EXPECT_EQ(pointer.take(), (Words{keyWord(BTN_LEFT, 0), "SYN"}));
}

TEST(UinputKeyStrokes, EveryPrintableAsciiCharacterHasAKey)
{
    for (char32_t c = 0x20; c < 0x7f; ++c)
        EXPECT_TRUE(UinputEventSink::keyStrokeForCharacter(c).has_value()) << char(c);
    EXPECT_FALSE(UinputEventSink::keyStrokeForCharacter(U'é').has_value());
    EXPECT_FALSE(UinputEventSink::keyStrokeForCharacter(0x7f).has_value());
    EXPECT_FALSE(UinputEventSink::keyStrokeForCharacter(0).has_value());
}

} // namespace

#include "tests/support/AllocationCounter.h"

namespace {

TEST_F(UinputEventSinkTest, PointerAndScrollEventsAllocateNothing)
{
    const auto drag = [&] {
        sink->postMouseEvent(MouseEventType::LeftDown, MouseButton::Left, {10, 10}, EventFlags::Shift, 1);
        sink->postMouseEvent(MouseEventType::LeftDragged, MouseButton::Left, {20, 10}, EventFlags::Shift, 1);
        sink->postMouseEvent(MouseEventType::LeftUp, MouseButton::Left, {20, 10}, EventFlags::Shift, 1);
        sink->warpCursor({30, 30});
        sink->postScrollWheel(30, -30, 0);
        sink->postMagnify(0.3, 2, {30, 30});
    };
    drag();
    velotap::test::AllocationScope scope;
    for (int i = 0; i < 10; ++i)
        drag();
    EXPECT_EQ(scope.count(), 0u);
}

} // namespace
