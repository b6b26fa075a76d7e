#include "tests/app/AppHarness.h"

#include "app/StatusWindow.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "tests/support/QtPrinters.h"

using namespace apptest;

namespace {

QStringList menuTitles(const QMenu* menu)
{
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return titles;
}

} // namespace

TEST(AppMenu, BuiltWithTitlesFollowingTouchAndMakingEachWindowOnce)
{
    AppHarness app;
    app.completeSetup();
    VTAppDelegate& delegate = app.launch();
    EXPECT_EQ(menuTitles(delegate.menu()),
              (QStringList{"Status: Stopped", "-", "Start Touch", "Show Keyboard", "Profile: Default", "Settings...",
                           "Velotap Help", "About Velotap", "-", "Quit"}));
    EXPECT_FALSE(app.action("actionStatus")->isEnabled());

    ASSERT_TRUE(app.awaitPolicy());
    app.action("actionShowKeyboard")->trigger();
    EXPECT_EQ(app.title("actionToggleTouch"), QStringLiteral("Stop Touch"));
    EXPECT_EQ(app.title("actionShowKeyboard"), QStringLiteral("Close Keyboard"));
    app.action("actionShowKeyboard")->trigger();
    EXPECT_EQ(app.title("actionShowKeyboard"), QStringLiteral("Show Keyboard"));

    // Each window is made once; one this build lacks is nothing.
    app.action("actionSettings")->trigger();
    app.action("actionHelp")->trigger();
    app.action("actionSettings")->trigger();
    EXPECT_EQ(app.settingsWindows.made, 1);
    EXPECT_EQ(app.settingsWindows.shown, 2);
    EXPECT_EQ(app.helpWindows.made, 1);
    app.action("actionAbout")->trigger();
    app.delegate->showDebugReports();
}

TEST(AppMenu, ProfileSubmenuOrderChecksAndSwitching)
{
    AppHarness app;
    app.completeSetup();
    app.settings.saveCurrentValuesAsProfileNamed(QStringLiteral("zeta"));
    app.settings.saveCurrentValuesAsProfileNamed(QStringLiteral("Alpha"));
    app.settings.saveCurrentValuesAsProfileNamed(QStringLiteral("R&D"));
    app.settings.applyProfileNamed(QStringLiteral("Default"));
    app.launch();
    EXPECT_EQ(app.profileItems(), (QStringList{"Default on", "Alpha", "R&&D", "zeta", "-", "Automatic Switching: On on"}));

    // Choosing from the submenu goes through the store's notification.
    QMenu* before = app.action("actionProfile")->menu();
    before->actions().at(3)->trigger();
    EXPECT_EQ(app.settings.activeProfileName(), QStringLiteral("zeta"));
    EXPECT_EQ(app.title("actionProfile"), QStringLiteral("Profile: zeta"));
    EXPECT_EQ(app.profileItems(), (QStringList{"Default", "Alpha", "R&&D", "zeta on", "-", "Automatic Switching: On on"}));
    EXPECT_NE(app.action("actionProfile")->menu(), before);

    // The active profile again: rebuilt, the check stays.
    app.action("actionProfile")->menu()->actions().at(3)->trigger();
    EXPECT_EQ(app.profileItems().at(3), QStringLiteral("zeta on"));

    app.action("actionAutomaticSwitching")->trigger();
    EXPECT_FALSE(app.settings.automaticProfileSwitching());
    EXPECT_EQ(app.profileItems().last(), QStringLiteral("Automatic Switching: Off"));

    // Where the desktop cannot say which application is active, the menu says why.
    AppHarness wayland;
    wayland.activeApplication.isAvailable = false;
    wayland.activeApplication.reason = QStringLiteral("Switching needs an X11 session");
    wayland.launch();
    EXPECT_EQ(wayland.profileItems().mid(2),
              (QStringList{"Automatic Switching: On on", "Switching needs an X11 session disabled"}));
}

TEST(AppMenu, StatusWindowStandsInForTheTrayUntilOneAppears)
{
    AppHarness app;
    app.completeSetup();
    app.launchAndAnswer();
    StatusWindow& window = app.delegate->statusPresenter().window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(app.tray.shown);

    // The window's buttons are the menu's commands, kept in step with it.
    auto* toggle = window.findChild<QPushButton*>(QStringLiteral("actionToggleTouchButton"));
    ASSERT_NE(toggle, nullptr);
    toggle->click();
    EXPECT_FALSE(app.bridge().running());
    EXPECT_EQ(toggle->text(), QStringLiteral("Start Touch"));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("statusLabel"))->text(), QStringLiteral("Status: Stopped"));
    auto* profile = window.findChild<QPushButton*>(QStringLiteral("actionProfileButton"));
    EXPECT_EQ(profile->menu(), app.action("actionProfile")->menu());
    app.settings.saveCurrentValuesAsProfileNamed(QStringLiteral("Work"));
    EXPECT_EQ(profile->text(), QStringLiteral("Profile: Work"));
    EXPECT_EQ(profile->menu(), app.action("actionProfile")->menu());

    // A tray that comes later takes the menu; the window comes back when it goes.
    app.tray.setPresent(true);
    EXPECT_TRUE(app.tray.shown);
    EXPECT_EQ(app.tray.menu, app.delegate->menu());
    EXPECT_FALSE(window.isVisible());
    // A second launch brings the window forward even with a tray.
    app.delegate->activate();
    EXPECT_TRUE(window.isVisible());
    window.hide();
    app.tray.setPresent(false);
    EXPECT_FALSE(app.tray.shown);
    EXPECT_TRUE(window.isVisible());
}

TEST(AppMenu, StatusIconFallsBackToADrawnIconWhenTheArtworkIsMissing)
{
    const QImage drawn = VTAppDelegate::statusIcon(QStringLiteral("/nonexistent.svg")).pixmap(18, 18).toImage();
    ASSERT_EQ(drawn.size(), QSize(18, 18));
    EXPECT_GT(drawn.pixelColor(9, 15).alpha(), 0);
    const QString shipped = qEnvironmentVariable("VELOTAP_SOURCE_DIR") + QStringLiteral("/resources/velotap-menubar_v2.svg");
    const QImage artwork = VTAppDelegate::statusIcon(shipped).pixmap(18, 18).toImage();
    EXPECT_NE(artwork, drawn);
    EXPECT_GT(artwork.pixelColor(9, 8).alpha(), 0);
}
