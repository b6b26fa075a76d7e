#include "platform/linux/XKeyPressTranslator.h"
#include "settings_ui/KeyComboLabel.h"
#include "settings_ui/VTKeyComboRecorderWindowController.h"
#include "tests/support/QtPrinters.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Recorded {
    bool cancelled = false;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0;
    std::optional<QString> label;
};

// A recorder whose completions are collected.
struct RecorderHarness {
    XKeyPressTranslator keys;
    QList<Recorded> calls;
    VTKeyComboRecorderWindowController recorder{
        keys, [this](bool cancelled, std::uint16_t keyCode, std::uint64_t flags, std::optional<QString> label) {
            calls.append({cancelled, keyCode, flags, label});
        }};

    RecorderHarness() { recorder.showWindow(); }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(recorder.captureView(), Qt::Key(key), modifiers);
    }
};

} // namespace

TEST(KeyComboLabel, ModifiersInFixedOrderThenTheKeyName)
{
    EXPECT_EQ(keyComboLabel(53, 0x1E0000), "Ctrl+Opt+Shift+Cmd+Esc");
    EXPECT_EQ(keyComboLabel(42, 0), "\\");
}

TEST(KeyComboRecorder, FirstKeyPressEndsTheRecordingWithCodeFlagsAndLabel)
{
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::uint16_t code;
        std::uint64_t flags;
        const char* label;
    } cases[] = {
        {Qt::Key_4, Qt::ShiftModifier | Qt::MetaModifier, 21, 0x120000, "Shift+Cmd+4"},
        {Qt::Key_F5, Qt::NoModifier, 96, 0, "F5"},
        {Qt::Key_section, Qt::NoModifier, 10, 0, "Key 10"},
        // Keys a dialog would otherwise take for itself.
        {Qt::Key_Escape, Qt::NoModifier, 53, 0, "Esc"},
        {Qt::Key_Tab, Qt::AltModifier, 48, 0x80000, "Opt+Tab"},
    };
    for (const auto& c : cases) {
        RecorderHarness h;
        h.press(c.key, c.modifiers);
        ASSERT_EQ(h.calls.size(), 1) << c.label;
        EXPECT_FALSE(h.calls[0].cancelled);
        EXPECT_EQ(h.calls[0].keyCode, c.code) << c.label;
        EXPECT_EQ(h.calls[0].flags, c.flags) << c.label;
        EXPECT_EQ(h.calls[0].label, QString::fromLatin1(c.label));
        EXPECT_FALSE(h.recorder.window()->isVisible());
        h.press(Qt::Key_A);
        EXPECT_EQ(h.calls.size(), 1) << "a second press after the end";
    }
}

TEST(KeyComboRecorder, ModifiersAloneAndKeysThatCannotBeSentKeepItOpen)
{
    RecorderHarness h;
    h.press(Qt::Key_Control, Qt::ControlModifier);
    h.press(Qt::Key_CapsLock);
    EXPECT_TRUE(h.calls.isEmpty());
    h.press(Qt::Key_LaunchMail);
    EXPECT_TRUE(h.calls.isEmpty());
    EXPECT_EQ(h.recorder.window()->findChild<QLabel*>("keyComboHint")->text(),
              "That key cannot be sent. Press another key.");
    EXPECT_TRUE(h.recorder.window()->isVisible());
}

TEST(KeyComboRecorder, CancelAndCloseFinishOnceWithNothing)
{
    RecorderHarness h;
    QTest::mouseClick(h.recorder.window()->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    ASSERT_EQ(h.calls.size(), 1);
    EXPECT_TRUE(h.calls[0].cancelled);
    EXPECT_EQ(h.calls[0].label, std::nullopt);
    h.recorder.finishCancelled(false, 1, 2, QStringLiteral("S"));
    h.recorder.cancel();
    EXPECT_EQ(h.calls.size(), 1);

    RecorderHarness closed;
    closed.recorder.window()->close();
    ASSERT_EQ(closed.calls.size(), 1);
    EXPECT_TRUE(closed.calls[0].cancelled);
    EXPECT_FALSE(closed.recorder.window()->isVisible());
}
