#include "app/AppWindow.h"
#include "app/CompatibilityWindows.h"
#include "compat/VTIntroCompatibilityWindowController.h"
#include "tests/app/AppHarness.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace apptest;

namespace {

// The application with its real compatibility windows and touch indicators.
struct FirstRunApp : AppHarness {
    FirstRunApp()
    {
        defaults.setValue(SettingsKey::WelcomeAcceptedVersion, kVersion);
        adjustEnvironment = [this](AppEnvironment& environment) {
            AppWindowFactories& windows = environment.windows;
            addCompatibilityWindows(windows, services);
            windows.compatibilityCheck = [this, made = windows.compatibilityCheck](VTAppDelegate& delegate) {
                std::unique_ptr<AppWindow> window = made(delegate);
                check = &static_cast<ControllerWindow<VTIntroCompatibilityWindowController>&>(*window).controller();
                ++checksMade;
                return window;
            };
        };
    }

    static QWidget* topLevel(const char* name)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String(name))
                return widget;
        }
        return nullptr;
    }

    const CompatibilityWindowServices services{
        {settings, center, scheduler, client, devices, displays, workspace, QUrl(), kVersion}, [] { return true; }};
    VTIntroCompatibilityWindowController* check = nullptr;
    int checksMade = 0;
};

} // namespace

TEST(AppFirstRun, TheCheckSendsAReportFinishCompletesSetupAndTheNextLaunchStartsTouch)
{
    FirstRunApp app;
    app.launchAndAnswer();
    ASSERT_EQ(app.checksMade, 1);
    QWidget* window = app.check->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(app.bridge().compatibilityTestMode());
    // Touch, keyboard and settings wait for the check while it is outstanding.
    app.action("actionSettings")->trigger();
    app.delegate->toggleTouch();
    EXPECT_EQ(app.settingsWindows.made, 0);
    EXPECT_TRUE(app.bridge().running());
    EXPECT_EQ(app.commandStates().mid(0, 4), (QStringList{"Stop Touch disabled", "Show Keyboard disabled",
                                                          "Profile: Default disabled", "Settings... disabled"}));

    // A tap on the check window is ticked and clicks nothing.
    app.displays.addDisplay(1, window->frameGeometry());
    app.bridge().refreshDisplayMapping();
    app.devices.deliver(fingerReport(true, 2048, 2048));
    app.devices.deliver(fingerReport(false, 2048, 2048));
    app.scheduler.advance(1);
    EXPECT_TRUE(app.check->results().contains("Finger 1 point"));
    EXPECT_TRUE(app.sinks.lines.isEmpty()) << app.sinks.lines.join('\n').toStdString();

    window->findChild<QComboBox*>("modelPopup")->setCurrentText("Samsung Flip");
    window->findChild<QPushButton*>("sendButton")->click();
    ASSERT_TRUE(waitUntil([&] { return app.check->statusText() != ReportSender::SendingText; }));
    ASSERT_TRUE(app.check->reportSent()) << app.check->statusText().toStdString();
    window->findChild<QPushButton*>("finishButton")->click();
    app.scheduler.runDue();
    EXPECT_EQ(app.terminations, 0);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(app.bridge().compatibilityTestMode());
    EXPECT_EQ(app.status(), "Status: Display updated") << "touch runs on, mapped as the test set it";
    EXPECT_EQ(app.commandStates().first(), "Stop Touch enabled");

    // The report of the tap, under the install ID the policy check sent too.
    const QList<QJsonObject> reports = app.service.reports();
    ASSERT_EQ(reports.size(), 1);
    const QJsonObject report = reports[0].value("report").toObject();
    EXPECT_EQ(report.value("result_summary").toObject().value("finger"), "ok");
    ASSERT_FALSE(app.service.checks().isEmpty());
    EXPECT_EQ(report.value("install_id"), app.service.checks().last().value("query").toObject().value("install_id"));

    // From now on touch starts at once, and acts.
    app.launchAndAnswer();
    EXPECT_EQ(app.checksMade, 1);
    EXPECT_FALSE(app.bridge().compatibilityTestMode());
    app.devices.deliver(fingerReport(true, 2048, 2048));
    app.devices.deliver(fingerReport(false, 2048, 2048));
    app.scheduler.advance(1);
    EXPECT_FALSE(app.sinks.lines.isEmpty());
}

TEST(AppFirstRun, ClosingTheFirstRunCheckQuitsAndIndicatorsStayHiddenDuringIt)
{
    FirstRunApp app;
    app.settings.setSettingValue(SettingsKey::ShowTouchIndicators, true);
    app.launchAndAnswer();
    QWidget* overlay = FirstRunApp::topLevel("touchIndicatorOverlay");
    ASSERT_TRUE(overlay);
    EXPECT_FALSE(overlay->isVisible()) << "the check runs";
    ASSERT_EQ(app.checksMade, 1);

    app.check->window()->close();
    EXPECT_EQ(app.terminations, 0) << "after the close, not during it";
    app.scheduler.runDue();
    EXPECT_EQ(app.terminations, 1);
}
