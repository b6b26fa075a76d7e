#include "base/ManualScheduler.h"
#include "gestures/TraceEventSink.h"
#include "keyboard/KeyboardLayouts.h"
#include "keyboard/TouchKeyboardLogic.h"
#include "tests/keyboard/UntimedEvents.h"
#include "tests/support/TestSettings.h"

#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"

namespace {

class RecordingPanel final : public KeyboardPanelHooks {
public:
    QStringList calls;
    void refreshModifierButtons() override {}
    void hideKeyboard() override { calls << "hide"; }
    void cycleKeyboardPosition() override { calls << "position"; }
    void keyboardLayoutChanged(bool sizeChanged) override { calls << (sizeChanged ? "size" : "layer"); }
};

// The keyboard on a virtual clock with a trace sink: keys are pressed by
// their title ("A", "1", "ä") or, for keys without one, their action.
class TouchKeyboardLogicTest : public ::testing::Test, protected TestSettings {
protected:
    ManualScheduler clock{100.0};
    TraceEventSink sink{clock};
    TouchKeyboardLogic keyboard{sink, clock, store};
    RecordingPanel panel;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        keyboard.setPanel(&panel);
    }

    KeyDescriptor key(const QString& label) const
    {
        for (const KeyRow& row : KeyboardLayout::keyboardRows(keyboard.state())) {
            for (const KeyDescriptor& k : row) {
                if (k.title == label || k.action == label)
                    return k;
            }
        }
        ADD_FAILURE() << "no key " << label.toStdString();
        return {};
    }

    void press(const QStringList& labels)
    {
        for (const QString& label : labels)
            keyboard.keyPressed(key(label));
    }

    QString events() { return untimedEvents(sink); }
};

// Each sequence leaves nothing latched behind.
TEST_F(TouchKeyboardLogicTest, ShiftCapsLockAndLatchedModifiers)
{
    struct Case {
        QStringList keys;
        QString events;
    };
    const Case cases[] = {
        {{"shift", "A", "A"}, "text \"A\" flags=0x0\ntext \"a\" flags=0x0"},
        {{"caps", "A", "A", "caps"}, "text \"A\" flags=0x0\ntext \"A\" flags=0x0"},
        // The text is shifted already: Shift must not shift it back.
        {{"caps", "shift", "A", "caps"}, "text \"a\" flags=0x0"},
        {{"shift", "1", "1"}, "text \"!\" flags=0x0\ntext \"1\" flags=0x0"},
        {{"caps", "1", "caps"}, "text \"1\" flags=0x0"},
        {{"shift", "shift", "'"}, "text \"'\" flags=0x0"},
        {{"shift", "`"}, "text \"~\" flags=0x0"},
        // Command is Control for a typed character, as Linux applications expect.
        {{"command", "C"}, "key 8 down flags=0x40000\nkey 8 up flags=0x40000"},
        {{"shift", "command", "1"}, "key 18 down flags=0x60000\nkey 18 up flags=0x60000"},
        {{"control", "option", "A"}, "key 0 down flags=0xc0000\nkey 0 up flags=0xc0000"},
        {{"command", "command", "C"}, "text \"c\" flags=0x0"},
        {{"shift", "left"}, "key 123 down flags=0x20000\nkey 123 up flags=0x20000"},
        {{"command", "backspace"}, "key 51 down flags=0x100000\nkey 51 up flags=0x100000"},
        {{"shift", "control", "escape"}, "key 53 down flags=0x0\nkey 53 up flags=0x0"},
        {{"option", "tab", "tab"},
         "key 48 down flags=0x80000\nkey 48 up flags=0x80000\nkey 48 down flags=0x0\nkey 48 up flags=0x0"},
        {{"control", "emoji"}, "key 47 down flags=0x100000\nkey 47 up flags=0x100000"},
        {{"shift", "volumeUp", "volumeDown"}, "media 0 down\nmedia 0 up\nmedia 1 down\nmedia 1 up"},
        {{"missionControl"}, "key 256 down flags=0x0\nkey 256 up flags=0x0"},
    };
    for (const Case& c : cases) {
        press(c.keys);
        EXPECT_EQ(events(), c.events) << c.keys.join(' ').toStdString();
        EXPECT_FALSE(keyboard.state()._shiftOn || keyboard.state()._capsOn || keyboard.currentModifierFlags())
            << c.keys.join(' ').toStdString();
    }
}

TEST_F(TouchKeyboardLogicTest, TheSymbolLayer)
{
    press({"caps", "A", "#+="});
    EXPECT_FALSE(keyboard.state()._capsOn) << "the layer key turns caps lock off";
    EXPECT_EQ(panel.calls, QStringList{"layer"});
    press({"caps", "ä", "shift", "ö", "caps"});
    EXPECT_EQ(events(), "text \"A\" flags=0x0\ntext \"\\u00e4\" flags=0x0\ntext \"\\u00d6\" flags=0x0")
        << "caps lock leaves the symbol layer alone";
    // No key code off the US layout: the text, with the modifier.
    press({"command", "ä"});
    EXPECT_EQ(events(), "text \"\\u00e4\" flags=0x40000");
}

TEST_F(TouchKeyboardLogicTest, EditingShortcutsKeepLatchedModifiers)
{
    press({"shift", "control", "cut", "copy", "paste", "undo", "redo"});
    EXPECT_EQ(events(), QStringList({"key 7 down flags=0x40000", "key 7 up flags=0x40000",
                                     "key 8 down flags=0x40000", "key 8 up flags=0x40000",
                                     "key 9 down flags=0x40000", "key 9 up flags=0x40000",
                                     "key 6 down flags=0x40000", "key 6 up flags=0x40000",
                                     "key 6 down flags=0x60000", "key 6 up flags=0x60000"})
                            .join('\n'));
    EXPECT_EQ(keyboard.currentModifierFlags(), 0x60000u);
}

TEST_F(TouchKeyboardLogicTest, PanelActionsAndLongText)
{
    press({"hide", "position", "size"});
    EXPECT_EQ(panel.calls, QStringList({"hide", "position", "size"}));
    EXPECT_TRUE(keyboard.state()._keyboardMinimized);
    EXPECT_EQ(events(), "");

    keyboard.postOutputText("abcdefghij", {});
    keyboard.postOutputText(QStringLiteral("abcdefg\U0001F600"), {});
    EXPECT_EQ(events(), "text \"abcdefgh\" flags=0x0\ntext \"abcdefg\" flags=0x0")
        << "cut to 8 units, never inside a character";
}

TEST_F(TouchKeyboardLogicTest, HoldRepeatsUntilReleased)
{
    store.setSettingValue(SettingsKey::HoldRepeatInterval, 0.1);
    press({"hold"});
    ASSERT_TRUE(keyboard.state()._holdMode);

    // Modifier, layer and shortcut keys act on release as usual.
    for (const char* label : {"shift", "cut", "#+=", "hold"})
        EXPECT_FALSE(keyboard.keyButtonShouldUseHold(key(label))) << label;
    for (const char* label : {"L", "backspace", "escape", "left"})
        EXPECT_TRUE(keyboard.keyButtonShouldUseHold(key(label))) << label;

    // Shift applies to every repeat of a text hold; command only to the first.
    press({"shift", "command"});
    keyboard.keyButtonHoldBegan(key("L"));
    clock.advance(0.25);
    keyboard.keyButtonHoldEnded();
    clock.advance(1.0);
    EXPECT_EQ(sink.takeLines(), QStringList({"0.000 key 37 down flags=0x60000", "0.000 key 37 up flags=0x60000",
                                             "0.100 text \"L\" flags=0x0", "0.200 text \"L\" flags=0x0"}));

    // A key-code hold keeps its modifiers until it ends.
    press({"option"});
    keyboard.keyButtonHoldBegan(key("backspace"));
    clock.advance(0.1);
    EXPECT_EQ(keyboard.currentModifierFlags(), EventFlags::Option);
    keyboard.keyButtonHoldEnded();
    EXPECT_EQ(keyboard.currentModifierFlags(), 0u);
    EXPECT_EQ(events(), QStringList({"key 51 down flags=0x80000", "key 51 up flags=0x80000",
                                     "key 51 down flags=0x80000", "key 51 up flags=0x80000"})
                            .join('\n'));
}

TEST_F(TouchKeyboardLogicTest, HoldIntervalHasAFloorAndHidingStopsTheRepeat)
{
    store.setSettingValue(SettingsKey::HoldRepeatInterval, 0.0);
    press({"hold", "control"});
    keyboard.keyButtonHoldBegan(key("right"));
    clock.advance(0.095);
    EXPECT_EQ(sink.lines().size(), 8) << "at 0, 0.03, 0.06 and 0.09";

    EXPECT_FALSE(keyboard.resetForHide());
    EXPECT_FALSE(keyboard.holdRunning());
    EXPECT_FALSE(keyboard.state()._holdMode);
    EXPECT_EQ(keyboard.currentModifierFlags(), 0u);
    sink.clear();
    clock.advance(1.0);
    EXPECT_TRUE(sink.lines().isEmpty());
    keyboard.keyButtonHoldEnded(); // the release after the panel went away
    EXPECT_FALSE(clock.hasPending());
}

} // namespace
