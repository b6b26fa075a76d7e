#include "tests/gestures/GestureTestHarness.h"

#include "base/Notifications.h"
#include "gestures/SystemAction.h"
#include "gestures/VirtualKeyCodes.h"

namespace {

using KeyboardActions = GestureEngineTest;

TEST_F(KeyboardActions, OneShotActionsFireOncePerSequenceOfAnInputBeforeTheMouse)
{
    setKeyboardAction(InputType::Finger1, KeyboardAction::Escape);
    touch({{100, 100}});
    touch({{120, 100}}); // moving does not fire again
    EXPECT_EQ(brief(), "0.000 key 53 down; 0.000 key 53 up; 0.000 warp 100,100; 0.000 warp 120,100");
    // Lifted at once, the tap still clicks, but only 50 ms after the key.
    lift();
    advance(0.049);
    EXPECT_EQ(brief(), "");
    advance(0.001);
    EXPECT_EQ(brief(), "0.050 left-down at=120,100 click=1; 0.050 left-up at=120,100 click=1");

    // A new sequence fires again, and with no touch delay the press still
    // waits 50 ms after the key.
    set(SettingsKey::TouchDelay, 0.0);
    advance(1.0);
    touch({{200, 200}});
    EXPECT_EQ(brief(), "1.050 key 53 down; 1.050 key 53 up; 1.050 warp 200,200");
    advance(0.05);
    EXPECT_EQ(brief(), "1.100 left-down at=200,200 click=1");
    lift();

    // A scrolling finger2 never fires its one-shot action; going from one
    // finger to two with finger2 on Right fires each input's own.
    setKeyboardAction(InputType::Finger2, KeyboardAction::Escape);
    swipe([](double y) { return pairAt(150, y); });
    lift();
    EXPECT_TRUE(take("key").isEmpty());
    advance(1.0);
    setMouseAction(InputType::Finger2, MouseAction::Right);
    touch({{100, 100}});
    touch(pairAt(150, 100));
    touch(pairAt(150, 105));
    lift();
    EXPECT_EQ(take("key").size(), 4);
}

TEST_F(KeyboardActions, KeyCombosPressModifiersInOrderAndReleaseInReverse)
{
    setKeyboardAction(InputType::Finger1, KeyboardAction::KeyCombo);
    auto comboKeys = [&](qint64 keyCode, qint64 flags, const QString& label) {
        setInput(InputType::Finger1, InputSetting::KeyComboKeyCode, keyCode);
        setInput(InputType::Finger1, InputSetting::KeyComboFlags, flags);
        setInput(InputType::Finger1, InputSetting::KeyComboLabel, label);
        touch({{100, 100}});
        const QString keys = brief("key");
        lift();
        take();
        return keys;
    };
    EXPECT_EQ(comboKeys(1, EventFlags::Command | EventFlags::Shift, "Shift-Command-S"),
              "0.000 key 56 down flags=0x20000; 0.000 key 55 down flags=0x120000; 0.000 key 1 down flags=0x120000; "
              "0.000 key 1 up flags=0x120000; 0.000 key 55 up flags=0x20000; 0.000 key 56 up");
    // Key code 0 is a real key, recognised by its label.
    EXPECT_EQ(comboKeys(0, 0, "A"), "0.000 key 0 down; 0.000 key 0 up");
    // The key code is read whole and posted in its low 16 bits.
    EXPECT_EQ(comboKeys(0x10007, 0, ""), "0.000 key 7 down; 0.000 key 7 up");

    // Nothing recorded: no keys, yet the action counts as fired and delays
    // the press.
    set(SettingsKey::TouchDelay, 0.0);
    EXPECT_TRUE(comboKeys(0, 0, "").isEmpty());
    touch({{100, 100}});
    EXPECT_EQ(engine.keyboardActionInput(), VTGestureEngine::Input::Finger1);
    EXPECT_TRUE(engine.pendingMouseDown());
}

TEST_F(KeyboardActions, SystemActionsAndTheTouchKeyboard)
{
    // Three fingers: the overview key once per sequence, before the Middle button's press.
    setKeyboardAction(InputType::Finger3, KeyboardAction::MissionControl);
    const Points three = {{100, 100}, {200, 100}, {150, 190}};
    touch(three);
    touch({{100, 110}, {200, 110}, {150, 200}});
    lift();
    EXPECT_EQ(brief().section("; ", 0, 3), "0.000 warp 150,130; 0.000 key 256 down; 0.000 key 256 up; 0.000 other-down at=150,130");

    setMouseAction(InputType::Pen, MouseAction::None);
    setKeyboardAction(InputType::Pen, KeyboardAction::Screenshot);
    auto penTap = [&] { touch({{300, 300}}, ContactKindPen); lift(); };
    penTap();
    EXPECT_EQ(brief("key"), "0.000 key 257 down; 0.000 key 257 up");
    set(SettingsKey::ScreenshotAction, R"(run:"/opt/My Tools/shot" --interactive)");
    penTap();
    EXPECT_EQ(brief("launch"), R"(0.000 launch "/opt/My Tools/shot" "--interactive")");
    set(SettingsKey::ScreenshotAction, "none");
    penTap();
    EXPECT_EQ(brief(), "") << "no key, no launch";

    std::vector<const void*> senders;
    ScopedObserver observer(center, VTNotification::TouchKeyboardShow,
                            [&](const Notification& n) { senders.push_back(n.sender); });
    int bridge = 0;
    engine.setNotificationSender(&bridge);
    setKeyboardAction(InputType::Eraser, KeyboardAction::ShowKeyboard);
    touch({{300, 300}}, ContactKindEraser);
    touch({{310, 300}}, ContactKindEraser);
    lift();
    EXPECT_EQ(senders, std::vector<const void*>{&bridge}) << "once, from the bridge";
}

TEST(SystemAction, ParsesKeysProgramsAndNonsense)
{
    EXPECT_EQ(SystemAction::parse("key:Super").keyCode, VirtualKey::Super);
    EXPECT_EQ(SystemAction::parse(" KEY:print ").keyCode, VirtualKey::Print);
    EXPECT_EQ(SystemAction::parse("key:53").keyCode, 53);
    for (const char* nonsense : {"key:70000", "key:Hyper", "run:", "/usr/bin/tool"})
        EXPECT_EQ(SystemAction::parse(nonsense).kind, SystemAction::Kind::None) << nonsense;
    // Shell syntax is not interpreted: it reaches the program as words.
    const SystemAction run = SystemAction::parse("run:tool ; rm -rf $HOME");
    EXPECT_EQ(run.program, "tool");
    EXPECT_EQ(run.arguments, QStringList({";", "rm", "-rf", "$HOME"}));
}

} // namespace
