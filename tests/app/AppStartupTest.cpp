#include "tests/app/AppHarness.h"

#include "base/Notifications.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/QtPrinters.h"

using namespace apptest;

namespace {

const QString kWelcome = QStringLiteral("Welcome to Velotap");
const QString kNotice = QStringLiteral("Velotap needs permissions");
const QString kPermissionError = QStringLiteral("Velotap needs permission");

} // namespace

TEST(AppStartup, WelcomeLoopOpensTermsEachTimeAndQuitEndsBeforeAnyRequest)
{
    AppHarness app;
    for (int i = 0; i < 3; ++i)
        app.alerts.answer(QStringLiteral("View License Terms"));
    app.alerts.answer(QStringLiteral("Accept and Continue"));
    app.launch();
    EXPECT_EQ(app.alerts.messages(), QStringList(4, kWelcome));
    EXPECT_EQ(app.workspace.opened, QList<QUrl>(3, QUrl("file:///velotap/help/terms.html")));
    EXPECT_EQ(app.defaults.stringValue(SettingsKey::WelcomeAcceptedVersion), kVersion);
    ASSERT_TRUE(app.awaitPolicy());
    EXPECT_EQ(app.service.checks().size(), 1);
    EXPECT_EQ(app.terminations, 0);

    // Declined (or closed): nothing is asked of the service and nothing starts.
    AppHarness declined;
    declined.alerts.answer(QStringLiteral("Quit"));
    declined.launch();
    EXPECT_EQ(declined.terminations, 1);
    EXPECT_FALSE(declined.awaitPolicy() && declined.delegate->startupContinued());
    EXPECT_TRUE(declined.service.checks().isEmpty());
    EXPECT_FALSE(declined.defaults.hasStoredValue(SettingsKey::WelcomeAcceptedVersion));
}

TEST(AppStartup, StartupContinuesOnceAfterThePolicyAnswerAndCursorStartsVisible)
{
    AppHarness app;
    app.completeSetup();
    app.defaults.setValue(SettingsKey::HideCursor, true);
    VTAppDelegate& delegate = app.launch();
    EXPECT_TRUE(app.alerts.shown.isEmpty());
    EXPECT_FALSE(app.defaults.boolValue(SettingsKey::HideCursor));
    EXPECT_TRUE(app.cursor.visible());
    // Nothing starts before the service answered.
    EXPECT_FALSE(app.bridge().running());
    EXPECT_EQ(app.status(), QStringLiteral("Status: Stopped"));

    ASSERT_TRUE(app.awaitPolicy());
    delegate.continueStartupAfterPolicyCheck();
    EXPECT_EQ(app.devices.openCount, 1);
    EXPECT_EQ(app.sinks.made, 1);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Touch active"));
    EXPECT_TRUE(app.session.sleepDelayHeld);

    // The menu's toggle stops touch and lets go of the sink and the sleep delay.
    app.action("actionToggleTouch")->trigger();
    EXPECT_FALSE(app.bridge().running());
    EXPECT_EQ(app.sinks.sink, nullptr);
    EXPECT_FALSE(app.session.sleepDelayHeld);
    EXPECT_EQ(app.commandStates().first(), QStringLiteral("Start Touch enabled"));
}

TEST(AppStartup, FirstRunWaitsForPermissionsThenRunsTheCompatibilityCheckOnTheNextLaunch)
{
    AppHarness app;
    // Accepted before, but a permission is missing: the welcome comes again.
    app.defaults.setValue(SettingsKey::WelcomeAcceptedVersion, kVersion);
    app.devices.unreadable.insert(QStringLiteral("/dev/hidraw0"));
    app.sinks.postingAllowed = false;
    app.alerts.answer(QStringLiteral("Accept and Continue"));
    app.alerts.answerAfterAccessory(QStringLiteral("OK, I understand"));
    app.launchAndAnswer();

    EXPECT_EQ(app.alerts.messages(), (QStringList{kWelcome, kNotice}));
    EXPECT_EQ(app.workspace.opened, QList<QUrl>{QUrl("file:///velotap/help/index.html#permissions")});
    EXPECT_EQ(app.permissions.requests, (QList<QStringList>{{"Accessibility", "Input Monitoring"}}));
    EXPECT_TRUE(app.defaults.boolValue(SettingsKey::PermissionsCompatibilityCheckPending));
    EXPECT_FALSE(app.bridge().running());
    EXPECT_EQ(app.compatibilityWindows.made, 0);

    // The user granted both and starts again: the check runs, touch feeds it.
    app.devices.unreadable.clear();
    app.sinks.postingAllowed = true;
    app.alerts.shown.clear();
    app.launchAndAnswer();
    EXPECT_TRUE(app.alerts.shown.isEmpty());
    EXPECT_TRUE(app.bridge().compatibilityTestMode());
    EXPECT_EQ(app.compatibilityWindows.made, 1);
}

TEST(AppStartup, UpdateRequiredStopsEveryTouchPath)
{
    AppHarness app;
    app.completeSetup();
    app.service.setPolicy(QJsonObject{{"version_policy", QJsonObject{{"minimum_supported_version", "9.0"}}}});
    app.alerts.answer(QStringLiteral("Quit"));
    app.launch();
    ASSERT_TRUE(app.awaitPolicy());
    EXPECT_FALSE(app.delegate->startupContinued());
    EXPECT_EQ(app.status(), QStringLiteral("Status: Update required"));
    EXPECT_EQ(app.commandStates(), (QStringList{"Start Touch disabled", "Show Keyboard disabled",
                                                "Profile: Default disabled", "Settings... disabled",
                                                "Velotap Help enabled", "About Velotap enabled", "Quit enabled"}));

    app.delegate->toggleTouch();
    app.delegate->showKeyboard();
    app.delegate->showSettings();
    app.delegate->continueStartupAfterPolicyCheck();
    app.center.post(VTNotification::DeviceSelectionDidChange);
    app.center.post(VTNotification::CompatibilityTestModeDidChange, nullptr, {{QStringLiteral("enabled"), true}});
    app.session.wake();
    app.scheduler.advance(5);
    EXPECT_FALSE(app.bridge().running());
    EXPECT_FALSE(app.delegate->keyboard().visible());
    EXPECT_EQ(app.settingsWindows.made, 0);
    EXPECT_EQ(app.devices.openCount, 0);
}

TEST(AppStartup, StartErrorsNameTheMissingPermissionsWithTheirButtons)
{
    AppHarness app;
    app.completeSetup();
    app.launch();

    // Input Monitoring only: the display cannot be read (it is opened only now).
    app.devices.nextOpenFailure = HidDeviceSource::OpenFailure::PermissionDenied;
    app.alerts.answer(QStringLiteral("Open Input Monitoring"));
    ASSERT_TRUE(app.awaitPolicy());
    ASSERT_EQ(app.alerts.messages(), QStringList{kPermissionError});
    const Alert& error = app.alerts.shown.last();
    EXPECT_TRUE(error.informativeText.startsWith(QStringLiteral("Missing permission: Input Monitoring\n\nVelotap needs:\n")));
    EXPECT_EQ(app.workspace.opened, QList<QUrl>{QUrl("file:///velotap/help/index.html#input-monitoring")});
    EXPECT_EQ(app.status(), QStringLiteral("Status: Needs permission"));
    EXPECT_EQ(app.sinks.sink, nullptr);

    // Both: Input Monitoring's button first, then Accessibility's; OK opens nothing.
    app.devices.nextOpenFailure = HidDeviceSource::OpenFailure::None;
    app.devices.unreadable.insert(QStringLiteral("/dev/hidraw0"));
    app.sinks.postingAllowed = false;
    app.alerts.answer(QStringLiteral("OK"));
    app.delegate->toggleTouch();
    EXPECT_EQ(app.alerts.shown.last().buttons, (QStringList{"Open Input Monitoring", "Open Accessibility", "OK"}));
    EXPECT_EQ(app.workspace.opened.size(), 1);

    // A busy display, or none attached: the status says so, no alert claims a missing permission.
    app.alerts.shown.clear();
    app.devices.unreadable.clear();
    app.sinks.postingAllowed = true;
    app.devices.nextOpenFailure = HidDeviceSource::OpenFailure::Other;
    app.devices.nextOpenError = EBUSY;
    app.delegate->toggleTouch();
    EXPECT_EQ(app.status(), QStringLiteral("Status: Could not open device"));
    app.devices.nextOpenFailure = HidDeviceSource::OpenFailure::None;
    app.devices.list.clear();
    app.delegate->toggleTouch();
    EXPECT_EQ(app.status(), QStringLiteral("Status: Device not found"));
    EXPECT_TRUE(app.alerts.shown.isEmpty());

    // The display plugged in afterwards starts touch without another command.
    app.devices.list = {touchDevice()};
    app.devices.announceChange();
    app.scheduler.advance(1);
    EXPECT_EQ(app.status(), QStringLiteral("Status: Touch active"));
}

TEST(AppStartup, QuitReleasesEverythingAndShowsTheCursor)
{
    AppHarness app;
    app.completeSetup();
    app.launchAndAnswer();
    app.delegate->setCursorHidden(true);

    // A finger held long enough to press the left button.
    app.devices.deliver(fingerReport(true, 100, 100));
    app.scheduler.advance(1);
    ASSERT_TRUE(app.sinks.lines.join('\n').contains(QStringLiteral("left-down")));
    app.action("actionQuit")->trigger();
    EXPECT_EQ(app.terminations, 1);
    EXPECT_TRUE(app.sinks.lines.last().contains(QStringLiteral("left-up")));
    EXPECT_TRUE(app.cursor.visible());
    EXPECT_FALSE(app.devices.isOpen());
}
