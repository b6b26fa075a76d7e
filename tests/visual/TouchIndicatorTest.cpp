#include "base/ManualScheduler.h"
#include "base/Notifications.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestSettings.h"
#include "visual/VTTouchIndicatorController.h"
#include "visual/VTTouchIndicatorView.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

namespace {

QVariantMap contact(qint64 kind, qint64 id, double screenX, double screenY)
{
    return {{"kind", kind}, {"id", id}, {"screenX", screenX}, {"screenY", screenY}};
}

} // namespace

TEST(TouchIndicatorView, AHeldFingerPulsesUntilItIsNoLongerReportedOrLifted)
{
    ManualScheduler clock{100.0};
    VTTouchIndicatorView view(clock);
    view.resize(1000, 500);
    const QRectF bounds(0, 0, 1000, 500);
    // Reported every 10 ms for half a second, then no more reports.
    for (int i = 0; i < 50; ++i) {
        view.addContacts({contact(1, 7, 500, 250)}, bounds);
        clock.advance(0.01);
    }
    EXPECT_EQ(view.ripples().size(), 3u); // at 0, about 0.23 and 0.47 s
    for (std::size_t i = 1; i < view.ripples().size(); ++i)
        EXPECT_NEAR(view.ripples()[i].start - view.ripples()[i - 1].start, 0.22, 1.0 / 30 + 1e-9);
    EXPECT_EQ(view.activeContactCount(), 1);

    // Gone 0.3 s after its last report: no ring starts after that.
    clock.advance(0.31);
    EXPECT_EQ(view.activeContactCount(), 0);
    const std::size_t ringsThen = view.ripples().size();
    clock.advance(0.3);
    EXPECT_LE(view.ripples().size(), ringsThen);
    for (const Ripple& r : view.ripples())
        EXPECT_LT(r.start, 100.5 + 0.3);
    // Every ring fades out within 0.85 s, then the view stops ticking.
    clock.advance(0.9);
    EXPECT_TRUE(view.ripples().empty());
    EXPECT_FALSE(view.animating());
    EXPECT_FALSE(clock.hasPending());

    // Lifted: no ring starts, the drawn ones finish fading; kind 0 draws nothing.
    view.addContacts({contact(1, 1, 100, 100), contact(2, 1, 200, 200), contact(0, 3, 300, 300)}, bounds);
    EXPECT_EQ(view.ripples().size(), 2u);
    clock.advance(0.1);
    view.addContacts({}, bounds);
    EXPECT_EQ(view.activeContactCount(), 0);
    clock.advance(0.7);
    EXPECT_EQ(view.ripples().size(), 2u);
    clock.advance(0.1);
    EXPECT_TRUE(view.ripples().empty());
}

TEST(TouchIndicatorView, ContactsMapByTheirPlaceInTheTargetDisplayClampedToItsEdges)
{
    ManualScheduler clock;
    VTTouchIndicatorView view(clock);
    view.resize(1280, 1024);
    const QRectF right(1920, 0, 1280, 1024);
    EXPECT_EQ(view.viewPointForContact(contact(1, 1, 1920 + 640, 256), right), QPointF(640, 256));
    EXPECT_EQ(view.viewPointForContact(contact(1, 1, 100, 2000), right), QPointF(0, 1024));
    EXPECT_EQ(view.viewPointForContact(contact(1, 1, 5000, -3), right), QPointF(1280, 0));
}

TEST(TouchIndicatorView, DrawsPenBlueAndEraserPinkWithTheirOwnSizes)
{
    ManualScheduler clock;
    VTTouchIndicatorView view(clock);
    view.resize(200, 100);
    view.addContacts({contact(2, 1, 50, 50), contact(3, 1, 150, 50)}, QRectF(0, 0, 200, 100));
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const auto colourAt = [&](int x, int y) { return QColor(image.pixel(x, y)); };
    EXPECT_GT(colourAt(50, 50).blue(), 200);
    EXPECT_LT(colourAt(50, 50).red(), 100);
    EXPECT_GT(colourAt(150, 50).red(), 200);
    // The eraser's dot is the larger.
    EXPECT_EQ(qAlpha(image.pixel(50 + 5, 50)), 0);
    EXPECT_GT(qAlpha(image.pixel(150 + 4, 50)), 0);
}

class TouchIndicatorControllerTest : public ::testing::Test, protected TestSettings {
protected:
    // The offscreen screens of this test: 1920x1080 at 0,0 and 1280x1024 beside it.
    TouchIndicatorControllerTest() { displays.addDisplay(2, QRectF(1920, 0, 1280, 1024)); }

    void setIndicators(bool on)
    {
        store.setSettingValue(SettingsKey::ShowTouchIndicators, on);
        center.post(VTNotification::TouchIndicatorsSettingDidChange);
    }
    void report(const QVariantList& contacts)
    {
        center.post(VTNotification::TouchFrame, nullptr, {{"contacts", contacts}});
    }
    void testMode(bool on) { center.post(VTNotification::CompatibilityTestModeDidChange, nullptr, {{"enabled", on}}); }

    ManualScheduler clock;
    VTTouchIndicatorController controller{{store, center, displays, clock, {}}};
};

// Touch builds each frame's contact dictionaries only for listeners:
// switched off, or hidden during a check, the overlay is none.
TEST_F(TouchIndicatorControllerTest, ShownAndListeningOnlyWhileSwitchedOnAndNoCheckRunsOnTheChosenScreen)
{
    QWidget* overlay = controller.window();
    const auto state = [&] {
        return QStringLiteral("%1 %2 %3")
            .arg(overlay->isVisible() ? "shown" : "hidden")
            .arg(center.hasObservers(VTNotification::TouchFrame) ? "listening" : "deaf")
            .arg(controller.view().ripples().size());
    };
    report({contact(1, 1, 10, 10)});
    EXPECT_EQ(state(), "hidden deaf 0");
    store.setSettingValue(SettingsKey::DisplaySelection, QStringLiteral("primary"));
    setIndicators(true);
    EXPECT_EQ(overlay->geometry(), QRect(0, 0, 1920, 1080));
    EXPECT_TRUE(overlay->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(overlay->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    report({contact(1, 1, 10, 10)});
    EXPECT_EQ(state(), "shown listening 1");
    testMode(true);
    EXPECT_EQ(state(), "hidden deaf 0");
    testMode(false);
    EXPECT_EQ(state(), "shown listening 0");
    setIndicators(false);
    EXPECT_EQ(state(), "hidden deaf 0");

    // Switched on from outside the settings window, e.g. `velotap defaults write`.
    UserDefaults(dir.path()).setValue(SettingsKey::ShowTouchIndicators, true);
    defaults.synchronize();
    report({contact(1, 1, 10, 10)});
    EXPECT_EQ(state(), "shown listening 1");

    // It follows the display selection to that screen, starting clean there.
    store.setSettingValue(SettingsKey::DisplaySelection, QStringLiteral("secondary"));
    center.post(VTNotification::DisplaySelectionDidChange);
    EXPECT_EQ(state(), "shown listening 0");
    EXPECT_EQ(overlay->geometry(), QRect(1920, 0, 1280, 1024));
    EXPECT_EQ(overlay->screen()->geometry(), QRect(1920, 0, 1280, 1024));
    report({contact(3, 4, 1920 + 320, 512)});
    ASSERT_EQ(controller.view().ripples().size(), 1u);
    EXPECT_EQ(controller.view().ripples()[0].point, QPointF(320, 512));
}
