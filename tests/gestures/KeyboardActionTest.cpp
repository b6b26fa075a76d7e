#include "tests/gestures/GestureTestHarness.h"

#include "base/Notifications.h"
#include "gestures/SystemAction.h"
#include "gestures/VirtualKeyCodes.h"

namespace {

using KeyboardActions = GestureEngineTest;

TEST_F(KeyboardActions, OneShotActionsFireOncePerSequenceBeforeTheMouse)
{
    setKeyboardAction(InputType::Finger1, KeyboardAction::Escape);
    touch({{100, 100}});
    touch({{120, 100}}); // moving does not fire again
    EXPECT_EQ(take(), QStringList({
                          "0.000 key 53 down flags=0x0",
                          "0.000 key 53 up flags=0x0",
                          "0.000 warp 100.00,100.00",
                          "0.000 warp 120.00,100.00",
                      }));
    lift();
    take();
    touch({{120, 100}}); // a new sequence fires again
    EXPECT_EQ(take("key").size(), 2);
    lift();
    take();

    // With no touch delay the press still waits 50 ms after the key.
    set(SettingsKey::TouchDelay, 0.0);
    advance(1.0);
    touch({{200, 200}});
    EXPECT_TRUE(take("mouse").isEmpty());
    advance(0.05);
    EXPECT_EQ(take("mouse"), QStringList({"1.050 mouse left-down button=0 at=200.00,200.00 flags=0x0 click=1"}));
    lift();
    take();

    // A scrolling finger2 never fires its one-shot action.
    setKeyboardAction(InputType::Finger2, KeyboardAction::Escape);
    touch({{100, 100}, {200, 100}});
    touch({{100, 110}, {200, 110}});
    EXPECT_TRUE(take("key").isEmpty());
    lift();
    advance(1.0);

    // Going from one finger to two fires each input's own action.
    setMouseAction(InputType::Finger2, MouseAction::Right);
    touch({{100, 100}});
    touch({{100, 100}, {200, 100}});
    touch({{100, 105}, {200, 105}});
    EXPECT_EQ(take("key").size(), 4);
    lift();
}

TEST_F(KeyboardActions, KeyCombosPressModifiersInOrderAndReleaseInReverse)
{
    auto recordCombo = [&](qint64 keyCode, qint64 flags, const QString& label) {
        setKeyboardAction(InputType::Finger1, KeyboardAction::KeyCombo);
        setInput(InputType::Finger1, InputSetting::KeyComboKeyCode, keyCode);
        setInput(InputType::Finger1, InputSetting::KeyComboFlags, flags);
        setInput(InputType::Finger1, InputSetting::KeyComboLabel, label);
    };
    auto tapKeys = [&] {
        touch({{100, 100}});
        const QStringList keys = take("key");
        lift();
        take();
        return keys;
    };

    recordCombo(1, EventFlags::Command | EventFlags::Shift, QStringLiteral("Shift-Command-S"));
    EXPECT_EQ(tapKeys(), QStringList({
                             "0.000 key 56 down flags=0x20000",
                             "0.000 key 55 down flags=0x120000",
                             "0.000 key 1 down flags=0x120000",
                             "0.000 key 1 up flags=0x120000",
                             "0.000 key 55 up flags=0x20000",
                             "0.000 key 56 up flags=0x0",
                         }));

    recordCombo(7, 0, QStringLiteral("X"));
    EXPECT_EQ(tapKeys(), QStringList({"0.000 key 7 down flags=0x0", "0.000 key 7 up flags=0x0"}));

    // Key code 0 is a real key, recognised by its label.
    recordCombo(0, 0, QStringLiteral("A"));
    EXPECT_EQ(tapKeys(), QStringList({"0.000 key 0 down flags=0x0", "0.000 key 0 up flags=0x0"}));

    // The key code is read whole and posted in its low 16 bits.
    recordCombo(0x10007, 0, QString());
    EXPECT_EQ(tapKeys(), QStringList({"0.000 key 7 down flags=0x0", "0.000 key 7 up flags=0x0"}));

    // Nothing recorded: no keys, yet the action counts as fired and delays
    // the press.
    recordCombo(0, 0, QString());
    set(SettingsKey::TouchDelay, 0.0);
    touch({{100, 100}});
    EXPECT_TRUE(take("key").isEmpty());
    EXPECT_EQ(engine.keyboardActionInput(), VTGestureEngine::Input::Finger1);
    EXPECT_TRUE(engine.pendingMouseDown());
    lift();
}

TEST_F(KeyboardActions, SystemActionsAndTheTouchKeyboard)
{
    // Three fingers: the overview key once per sequence, the Middle button as usual.
    setKeyboardAction(InputType::Finger3, KeyboardAction::MissionControl);
    touch({{100, 100}, {200, 100}, {150, 190}});
    touch({{100, 110}, {200, 110}, {150, 200}});
    lift();
    EXPECT_EQ(take(), QStringList({
                          "0.000 warp 150.00,130.00",
                          "0.000 key 256 down flags=0x0",
                          "0.000 key 256 up flags=0x0",
                          "0.000 mouse other-down button=2 at=150.00,130.00 flags=0x0",
                          "0.000 warp 150.00,140.00",
                          "0.000 mouse other-dragged button=2 at=150.00,140.00 flags=0x0",
                          "0.000 mouse other-up button=2 at=150.00,140.00 flags=0x0",
                      }));

    setMouseAction(InputType::Pen, MouseAction::None);
    setKeyboardAction(InputType::Pen, KeyboardAction::Screenshot);
    touch({{300, 300}}, ContactKindPen);
    lift();
    EXPECT_EQ(take("key"), QStringList({"0.000 key 257 down flags=0x0", "0.000 key 257 up flags=0x0"}));

    set(SettingsKey::ScreenshotAction, QStringLiteral("run:/usr/bin/gnome-screenshot --interactive"));
    set(SettingsKey::MissionControlAction, QStringLiteral(R"(run:"/opt/My Tools/overview" --mode "all windows")"));
    touch({{300, 300}}, ContactKindPen);
    lift();
    touch({{100, 100}, {200, 100}, {150, 190}});
    lift();
    EXPECT_EQ(take("launch"), QStringList({
                                  R"(0.000 launch "/usr/bin/gnome-screenshot" "--interactive")",
                                  R"(0.000 launch "/opt/My Tools/overview" "--mode" "all windows")",
                              }));

    set(SettingsKey::ScreenshotAction, QStringLiteral("none"));
    touch({{300, 300}}, ContactKindPen);
    lift();
    const QStringList none = take();
    EXPECT_TRUE(none.filter(QLatin1String(" launch ")).isEmpty() && none.filter(QLatin1String(" key ")).isEmpty());

    int shown = 0;
    const void* sender = nullptr;
    ScopedObserver observer(center, VTNotification::TouchKeyboardShow, [&](const Notification& n) {
        ++shown;
        sender = n.sender;
    });
    int bridge = 0;
    engine.setNotificationSender(&bridge);
    setKeyboardAction(InputType::Eraser, KeyboardAction::ShowKeyboard);
    touch({{300, 300}}, ContactKindEraser);
    touch({{310, 300}}, ContactKindEraser);
    lift();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(sender, &bridge);
}

TEST(SystemAction, ParsesKeysProgramsAndNonsense)
{
    EXPECT_EQ(SystemAction::parse("key:Super").keyCode, VirtualKey::Super);
    EXPECT_EQ(SystemAction::parse(" KEY:print ").keyCode, VirtualKey::Print);
    const SystemAction numeric = SystemAction::parse("key:53");
    EXPECT_EQ(numeric.kind, SystemAction::Kind::Key);
    EXPECT_EQ(numeric.keyCode, 53);
    EXPECT_EQ(SystemAction::parse("key:70000").kind, SystemAction::Kind::None);
    EXPECT_EQ(SystemAction::parse("key:Hyper").kind, SystemAction::Kind::None);
    EXPECT_EQ(SystemAction::parse("run:").kind, SystemAction::Kind::None);
    EXPECT_EQ(SystemAction::parse("/usr/bin/tool").kind, SystemAction::Kind::None);
    // Shell syntax is not interpreted: it reaches the program as words.
    const SystemAction run = SystemAction::parse("run:tool ; rm -rf $HOME");
    EXPECT_EQ(run.program, "tool");
    EXPECT_EQ(run.arguments, QStringList({";", "rm", "-rf", "$HOME"}));
}

} // namespace
