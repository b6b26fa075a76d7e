#pragma once
#include "app/KeyboardPanel.h"
#include "app/StatusPresenter.h"
#include "app/VTAppDelegate.h"
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "service/AppPolicy.h"
#include "service/ServiceClient.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/FakeHidDeviceSource.h"
#include "tests/support/FakeUserNotifier.h"
#include "tests/support/ReferenceService.h"
#include "tests/support/ScriptedAlertPresenter.h"
#include "tests/support/WaitUntil.h"
#include "tests/touch/TouchTestData.h"
#include "touch/VTTouchBridge.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>

#include <memory>

namespace apptest {

inline const QString kVersion = QStringLiteral("1.4");

using touchtest::fingerReport;

inline HidDeviceInfo touchDevice()
{
    return touchtest::touchDevice(QStringLiteral("/dev/hidraw0"));
}

// Counts the windows a factory made and how often they were shown.
struct WindowLog {
    int made = 0;
    int shown = 0;

    struct Window final : AppWindow {
        explicit Window(WindowLog& log) : log(log) {}
        void showWindow() override { ++log.shown; }
        WindowLog& log;
    };
    WindowFactory factory()
    {
        return [this](VTAppDelegate&) -> std::unique_ptr<AppWindow> {
            ++made;
            return std::make_unique<Window>(*this);
        };
    }
};

// The application shell on fakes: a virtual clock, settings in a temporary
// folder (shared by every launch of one harness, like the real defaults),
// a display set up by the test and scripted alerts; the policy check asks
// the reference service on loopback.
class AppHarness {
public:
    // First in, last out: the client's connections close before the service stops.
    ReferenceService service;
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore settings{defaults, center};
    ManualScheduler scheduler;
    FakeDisplayServices displays;
    FakeHidDeviceSource devices;
    TraceEventSinkProvider sinks{scheduler};
    ScriptedAlertPresenter alerts;
    RecordingWorkspace workspace;
    FakePermissionHelper permissions;
    FakeTrayHost tray;
    FakeSessionEvents session;
    // What the delegate gets as its session: the fake unless a test sets another.
    SessionEvents* sessionEvents = &session;
    FakeActiveApplicationSource activeApplication;
    FakeCursorControl cursor;
    ServiceClient client{defaults};
    FakeUserNotifier notifier;
    std::unique_ptr<AppPolicy> policy;
    WindowLog settingsWindows, compatibilityWindows, helpWindows;
    int terminations = 0;
    // Changes the environment of the next launch (real windows, say).
    std::function<void(AppEnvironment&)> adjustEnvironment;
    std::unique_ptr<VTAppDelegate> delegate;

    AppHarness()
    {
        settings.registerDefaults();
        defaults.setValue(SettingsKey::ApiBaseURL, service.baseURL());
        displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
        displays.setMainDisplay(1);
        devices.list = {touchDevice()};
    }

    // What a finished first run leaves behind.
    void completeSetup()
    {
        defaults.setValue(SettingsKey::WelcomeAcceptedVersion, kVersion);
        defaults.setValue(SettingsKey::InitialCompatibilityReportSent, true);
        defaults.setValue(SettingsKey::PermissionsCompatibilityCheckPending, false);
    }

    AppEnvironment environment()
    {
        AppEnvironment env{scheduler, settings, center, devices, displays, sinks, alerts, workspace, permissions,
                           tray, *sessionEvents, activeApplication, cursor, *policy};
        env.windows.settings = settingsWindows.factory();
        env.windows.compatibilityCheck = compatibilityWindows.factory();
        env.windows.help = helpWindows.factory();
        env.applicationVersion = kVersion;
        env.helpPage = QUrl(QStringLiteral("file:///velotap/help/index.html"));
        env.termsPage = QUrl(QStringLiteral("file:///velotap/help/terms.html"));
        env.terminate = [this] { ++terminations; };
        if (adjustEnvironment)
            adjustEnvironment(env);
        return env;
    }

    // A new launch, a new process: the previous delegate and policy go first.
    VTAppDelegate& launch()
    {
        delegate.reset();
        policy = std::make_unique<AppPolicy>(AppPolicy::Environment{client, defaults, alerts, workspace, notifier, center,
                                                                    scheduler, kVersion, QStringLiteral("1"),
                                                                    [this] { ++terminations; }});
        delegate = std::make_unique<VTAppDelegate>(environment());
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    // Until the service answered (or the application ended), then posted work.
    bool awaitPolicy()
    {
        const bool answered = waitUntil([this] {
            return delegate->startupContinued() || policy->updateRequired() || terminations > 0;
        });
        scheduler.runDue();
        return answered;
    }
    VTAppDelegate& launchAndAnswer()
    {
        launch();
        EXPECT_TRUE(awaitPolicy());
        return *delegate;
    }

    VTTouchBridge& bridge() { return delegate->bridge(); }
    QAction* action(const char* name) const { return delegate->menu()->findChild<QAction*>(QLatin1String(name)); }
    QString title(const char* name) const { return action(name)->text(); }
    QString status() const { return title("actionStatus"); }
    // "title[ on][ disabled]" per item of the profile submenu.
    QStringList profileItems() const
    {
        QStringList items;
        for (QAction* item : action("actionProfile")->menu()->actions()) {
            if (item->isSeparator()) {
                items << QStringLiteral("-");
                continue;
            }
            items << item->text() + (item->isChecked() ? QStringLiteral(" on") : QString())
                    + (item->isEnabled() ? QString() : QStringLiteral(" disabled"));
        }
        return items;
    }
    // The items 3 to 6 of the menu that need a finished setup, as "title enabled|disabled".
    QStringList commandStates() const
    {
        QStringList states;
        for (const char* name : {"actionToggleTouch", "actionShowKeyboard", "actionProfile", "actionSettings",
                                 "actionHelp", "actionAbout", "actionQuit"})
            states << title(name) + (action(name)->isEnabled() ? QStringLiteral(" enabled") : QStringLiteral(" disabled"));
        return states;
    }
};

} // namespace apptest
