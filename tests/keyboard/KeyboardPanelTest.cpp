#include "base/ManualScheduler.h"
#include "base/Notifications.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/PanelPlatform.h"
#include "keyboard/VTTouchKeyboardController.h"
#include "tests/keyboard/UntimedEvents.h"
#include "tests/support/TestSettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "tests/support/QtPrinters.h"

namespace {

// Built with two screens: 1280x800 at the origin (primary) and the larger
// 1920x1080 to its right.
constexpr QRect kLargest(1280, 0, 1920, 1080);

class KeyboardPanelTest : public ::testing::Test, protected TestSettings {
protected:
    ManualScheduler clock{50.0};
    TraceEventSink sink{clock};
    PlainPanelPlatform platform;
    std::unique_ptr<KeyboardIcons> icons;
    std::unique_ptr<VTTouchKeyboardController> keyboard;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        store.setSettingValue(SettingsKey::HoldRepeatInterval, 0.1);
        makeKeyboard(nullptr);
    }

    void makeKeyboard(KeyboardIcons* iconSet)
    {
        keyboard = std::make_unique<VTTouchKeyboardController>(
            VTTouchKeyboardController::Environment{sink, clock, store, center, platform, iconSet});
    }

    VTKeyboardButton* button(const QString& label) const
    {
        for (VTKeyboardButton* b : keyboard->keyButtons()) {
            const KeyDescriptor& key = b->descriptor();
            if (key.title == label || key.action == label)
                return b;
        }
        ADD_FAILURE() << "no key " << label.toStdString();
        return nullptr;
    }

    void click(const QStringList& labels)
    {
        for (const QString& label : labels) {
            if (VTKeyboardButton* b = button(label))
                QTest::mouseClick(b, Qt::LeftButton);
            clock.runDue(); // the rebuilds that layer and size keys post
        }
    }

    QRect panelFrame() const { return keyboard->panel()->geometry(); }

    QString events() { return untimedEvents(sink); }
};

TEST_F(KeyboardPanelTest, ShowsOnTheLargestScreenAtEachSavedPosition)
{
    EXPECT_FALSE(keyboard->visible());
    EXPECT_EQ(keyboard->panel(), nullptr) << "nothing is made before the first show";
    center.post(VTNotification::TouchKeyboardShow);
    ASSERT_TRUE(keyboard->visible());
    EXPECT_EQ(panelFrame(), QRect(kLargest.x() + 570, 778, 780, 286));
    EXPECT_EQ(keyboard->keyButtons().size(), 78);

    const QStringList expected = {"bottomRight", "topLeft", "topCenter", "topRight", "bottomLeft", "bottomCenter"};
    const QList<QPoint> origins = {{kLargest.x() + 1124, 778}, {kLargest.x() + 16, 16}, {kLargest.x() + 570, 16},
                                   {kLargest.x() + 1124, 16},  {kLargest.x() + 16, 778}, {kLargest.x() + 570, 778}};
    for (int i = 0; i < expected.size(); ++i) {
        click({"position"});
        EXPECT_EQ(defaults.stringValue(SettingsKey::KeyboardPosition), expected[i]);
        EXPECT_EQ(panelFrame().topLeft(), origins[i]) << expected[i].toStdString();
    }

    // A stored value from elsewhere: the nearest of the six, on whatever
    // screen is largest now.
    keyboard->hideKeyboard();
    defaults.setValue(SettingsKey::KeyboardPosition, QStringLiteral("right"));
    keyboard->showKeyboard();
    EXPECT_EQ(panelFrame().topLeft(), QPoint(kLargest.x() + 1124, 778));
}

TEST_F(KeyboardPanelTest, MinimisesToTheActionRowAndComesBackFull)
{
    keyboard->showKeyboard();
    click({"keyboardSize"});
    EXPECT_EQ(panelFrame(), QRect(kLargest.x() + 570, 1008, 780, 56));
    ASSERT_EQ(keyboard->keyButtons().size(), 14);
    EXPECT_EQ(button("keyboardSize")->toolTip(), "size");

    click({"#+="});
    EXPECT_EQ(button("symbols")->text(), "abc") << "still one row, now naming the letters";
    EXPECT_EQ(keyboard->keyButtons().size(), 14);

    keyboard->hideKeyboard();
    EXPECT_FALSE(keyboard->visible());
    keyboard->showKeyboard();
    EXPECT_EQ(panelFrame(), QRect(kLargest.x() + 570, 778, 780, 286));
    EXPECT_EQ(keyboard->keyButtons().size(), 77) << "the symbol layer, in full";
    EXPECT_TRUE(keyboard->state()._symbolsOn) << "hiding keeps the layer";
}

TEST_F(KeyboardPanelTest, ClickedKeysTypeAndShowTheirState)
{
    keyboard->showKeyboard();
    EXPECT_EQ(button("A")->text(), "a");
    click({"shift"});
    EXPECT_TRUE(button("shift")->isActive());
    EXPECT_EQ(button("shift")->tint(), QColor(Qt::white));
    EXPECT_EQ(button("A")->text(), "A");
    EXPECT_EQ(button("1")->text(), "!");
    click({"A", "control", "A", "backspace"});
    EXPECT_FALSE(button("shift")->isActive());
    EXPECT_EQ(button("A")->text(), "a");
    EXPECT_EQ(events(), QStringList({"text \"A\" flags=0x0", "key 0 down flags=0x40000", "key 0 up flags=0x40000",
                                     "key 51 down flags=0x0", "key 51 up flags=0x0"})
                            .join('\n'));

    // Latched modifiers and hold mode do not outlive the panel.
    click({"control", "option", "hold"});
    keyboard->hideKeyboard();
    EXPECT_EQ(keyboard->logic().currentModifierFlags(), 0u);
    keyboard->showKeyboard();
    EXPECT_FALSE(button("control")->isActive());
    EXPECT_FALSE(button("hold")->isActive());
    click({"A"});
    EXPECT_EQ(events(), "text \"a\" flags=0x0");
}

// Repeat timing is the logic's test; the desktop's holds a key with a finger.
TEST_F(KeyboardPanelTest, HidingEndsAHeldKey)
{
    keyboard->showKeyboard();
    click({"hold", "shift"});
    QTest::mousePress(button("backspace"), Qt::LeftButton);
    clock.advance(0.1);
    keyboard->hideKeyboard(); // before the release arrives
    clock.advance(1.0);
    EXPECT_EQ(events(), QStringList({"key 51 down flags=0x20000", "key 51 up flags=0x20000",
                                     "key 51 down flags=0x20000", "key 51 up flags=0x20000"})
                            .join('\n'));
    EXPECT_FALSE(keyboard->logic().holdRunning());
    EXPECT_FALSE(clock.hasPending());
}

TEST_F(KeyboardPanelTest, MissingIconsShowLabelsUntilTheFileAppears)
{
    QTemporaryDir iconDir;
    KeyboardIcons partial(iconDir.path());
    makeKeyboard(&partial);
    keyboard->showKeyboard();
    EXPECT_TRUE(button("tab")->icon().isNull());
    EXPECT_EQ(button("tab")->text(), "tab");

    ASSERT_TRUE(QFile::copy(":/KeyboardIcons/tab.svg", iconDir.filePath("tab.svg")));
    click({"shift"}); // any restyle looks again
    EXPECT_FALSE(button("tab")->icon().isNull());
    EXPECT_EQ(button("tab")->text(), "");
    EXPECT_EQ(button("tab")->toolTip(), "tab");
}

TEST(KeyboardIcons, EveryIconLoadsAndTakesTheTint)
{
    const QColor tint(200, 30, 60);
    for (const QString& name : KeyboardIcons::names()) {
        const auto icon = KeyboardIcons::shared().iconNamed(name);
        ASSERT_TRUE(icon) << name.toStdString();
        const QImage image = icon->pixmap(tint, 2.0).toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(image.size(), QSize(36, 36));
        int covered = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() < 255)
                    continue;
                ++covered;
                EXPECT_EQ(pixel.rgb(), tint.rgb()) << name.toStdString();
            }
        }
        EXPECT_GT(covered, 20) << name.toStdString() << " draws almost nothing";
    }
    EXPECT_FALSE(KeyboardIcons::shared().iconNamed("no-such-icon"));
    EXPECT_FALSE(KeyboardIcons::shared().iconNamed(""));
}

} // namespace
