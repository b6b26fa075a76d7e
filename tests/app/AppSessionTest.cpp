#include "tests/app/AppHarness.h"

#include "app/ProfileMatching.h"
#include "base/Notifications.h"

#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"

using namespace apptest;

namespace {

class AppSession : public ::testing::Test {
protected:
    AppHarness app;
    void SetUp() override
    {
        app.completeSetup();
        app.launchAndAnswer();
        ASSERT_TRUE(app.bridge().running());
    }
};

} // namespace

TEST(ProfileMatching, NamesMatchEitherWayIgnoringCaseAndBlankNamesNever)
{
    const QStringList profiles{"Default", "  ", "Illustrator", "Mail", "mail client"};
    const std::pair<const char*, const char*> cases[] = {
        {"Adobe Illustrator 2026", "Illustrator"}, // the application's name contains the profile's
        {"MAIL", "Mail"},                          // equal ignoring case; the first in order wins over "mail client"
        {"Mai", "Mail"},                           // the profile's name contains the application's
        {"Safari", "Default"},
        {"   ", "Default"},
        {"", "Default"},
    };
    for (const auto& [application, expected] : cases)
        EXPECT_EQ(profileForApplicationName(profiles, QString::fromUtf8(application)), QString::fromUtf8(expected)) << application;
    // A profile of white space only never matches, not even white space.
    EXPECT_EQ(profileForApplicationName({"Default", " "}, QStringLiteral("x y")), QStringLiteral("Default"));
}

TEST_F(AppSession, ActiveApplicationChoosesTheProfileButNeverOurOwnWindows)
{
    app.settings.saveCurrentValuesAsProfileNamed(QStringLiteral("Mail"));
    app.settings.applyProfileNamed(QStringLiteral("Default"));
    app.activeApplication.activate(QStringLiteral("Mail"), QStringLiteral("org.gnome.Evolution"));
    EXPECT_EQ(app.settings.activeProfileName(), QStringLiteral("Mail"));
    EXPECT_EQ(app.title("actionProfile"), QStringLiteral("Profile: Mail"));
    // Opening our own settings keeps the profile chosen for the application before.
    app.activeApplication.activate(QStringLiteral("Velotap"), QStringLiteral("velotap"));
    EXPECT_EQ(app.settings.activeProfileName(), QStringLiteral("Mail"));
    app.activeApplication.activate(QStringLiteral("Firefox"), QStringLiteral("firefox"));
    EXPECT_EQ(app.settings.activeProfileName(), QStringLiteral("Default"));

    app.settings.setAutomaticProfileSwitching(false);
    app.activeApplication.activate(QStringLiteral("Mail"), QStringLiteral("org.gnome.Evolution"));
    EXPECT_EQ(app.settings.activeProfileName(), QStringLiteral("Default"));
}

TEST_F(AppSession, DisplayChangesAreDebouncedIntoOneRefreshAndSelectionsRestartOnlyARunningBridge)
{
    // The sink follows the new arrangement itself: it is not made again.
    const int madeBefore = app.sinks.made;
    for (int i = 0; i < 3; ++i) {
        app.delegate->displayConfigurationChanged();
        app.scheduler.advance(0.2);
        EXPECT_EQ(app.status(), QStringLiteral("Status: Touch active"));
    }
    app.scheduler.advance(0.24);
    EXPECT_TRUE(app.delegate->displayRefreshPending());
    app.scheduler.advance(0.02);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Display updated"));
    EXPECT_EQ(app.sinks.made, madeBefore);
    EXPECT_NE(app.sinks.sink, nullptr);

    // A new device choice restarts a running bridge; a stopped one stays as
    // it is, also for a new display choice.
    app.center.post(VTNotification::DeviceSelectionDidChange);
    EXPECT_TRUE(app.bridge().running());
    EXPECT_EQ(app.devices.openCount, 2);
    app.delegate->toggleTouch();
    app.center.post(VTNotification::DeviceSelectionDidChange);
    app.center.post(VTNotification::DisplaySelectionDidChange);
    app.scheduler.advance(1);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Stopped"));
    EXPECT_EQ(app.devices.openCount, 2);
}

TEST_F(AppSession, TheMenuFollowsADisplayUnpluggedAndPluggedBackIn)
{
    app.devices.unplug();
    EXPECT_EQ(app.title("actionToggleTouch"), QStringLiteral("Start Touch"));
    EXPECT_FALSE(app.session.sleepDelayHeld);
    app.devices.list = {touchDevice()};
    app.devices.announceChange();
    app.scheduler.advance(2);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Touch active"));
    EXPECT_TRUE(app.session.sleepDelayHeld);

    // Unplugged while another user has the seat: plugging it in for them
    // leaves it to them; touch comes back with this session.
    app.devices.unplug();
    app.session.setActive(false);
    app.devices.list = {touchDevice()};
    app.devices.announceChange();
    app.scheduler.advance(2);
    EXPECT_FALSE(app.devices.isOpen());
    app.session.setActive(true);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Touch active"));
}

TEST_F(AppSession, CursorHiddenTwiceAndShownOnceIsVisible)
{
    app.displays.addDisplay(2, QRectF(1920, 0, 1920, 1080));
    app.delegate->setCursorHidden(true);
    app.delegate->setCursorHidden(true);
    EXPECT_EQ(app.cursor.hides, 4); // two displays, twice
    app.delegate->setCursorHidden(false);
    EXPECT_TRUE(app.cursor.visible());

    app.delegate->toggleHideCursor();
    EXPECT_TRUE(app.defaults.boolValue(SettingsKey::HideCursor));
    EXPECT_FALSE(app.cursor.visible());
}

TEST(AppKeyboard, TypesThroughTheDesktopSinkAlsoWhileTouchIsStopped)
{
    AppHarness app;
    app.completeSetup();
    app.launch();
    ASSERT_FALSE(app.bridge().running());
    app.delegate->showKeyboard();
    app.delegate->keyboardEventSink().postKey(0, true, 0);
    EXPECT_EQ(app.sinks.made, 1);
    EXPECT_TRUE(app.sinks.lines.last().contains(QStringLiteral("key 0 down")));

    // Touch stopping keeps the sink the open keyboard types through; closing it lets go.
    app.delegate->toggleTouch();
    app.delegate->toggleTouch();
    EXPECT_NE(app.sinks.sink, nullptr);
    EXPECT_EQ(app.sinks.made, 1);
    app.delegate->showKeyboard();
    EXPECT_EQ(app.sinks.sink, nullptr);
}
