#include "app/ApplicationWindows.h"
#include "service/UpdateCheck.h"
#include "tests/app/AppHarness.h"
#include "tests/settings_ui/SettingsWindowHarness.h"
#include "tests/support/DesktopSession.h"
#include "tests/support/TwoMonitorDesktop.h"
#include "tests/support/AssertEventually.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>


namespace {

using twomonitors::kRight;

class WindowsOnDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!DesktopSession::current())
            GTEST_SKIP() << "no desktop";
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
    }

    // Shown, on the right-hand monitor and centred on its free area.
    static void expectCentredOnTheLargestMonitor(QWidget* window)
    {
        ASSERT_EVENTUALLY(window->isVisible() && window->windowHandle()->isExposed(), 5000);
        QScreen* right = nullptr;
        for (QScreen* screen : QGuiApplication::screens())
            right = screen->geometry() == kRight ? screen : right;
        ASSERT_TRUE(right);
        const QRect area = right->availableGeometry();
        ASSERT_EVENTUALLY(area.contains(window->frameGeometry()), 5000);
        const QPoint offset = window->frameGeometry().center() - area.center();
        EXPECT_LE(std::abs(offset.x()), 2) << window->objectName().toStdString();
        EXPECT_LE(std::abs(offset.y()), 30) << window->objectName().toStdString(); // title bar
    }
};

QList<QWidget*> topLevelWidgetsNamed(const char* name)
{
    QList<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(name))
            found << widget;
    }
    return found;
}

} // namespace

TEST_F(WindowsOnDesktop, EachWindowOpensFromItsMenuCommandCentredOnTheLargestMonitor)
{
    apptest::AppHarness app;
    app.completeSetup();
    XKeyPressTranslator keys;
    FakeLoginItem login;
    std::unique_ptr<UpdateCheck> updateCheck;
    std::unique_ptr<ApplicationWindowServices> services;
    app.adjustEnvironment = [&](AppEnvironment& environment) {
        updateCheck = std::make_unique<UpdateCheck>(*app.policy);
        services = std::make_unique<ApplicationWindowServices>(ApplicationWindowServices{
            app.settings, app.center, app.devices, app.displays, app.alerts, app.workspace, keys, login, *updateCheck,
            QIcon(), apptest::kVersion, QUrl()});
        addApplicationWindows(environment.windows, *services);
    };
    app.launchAndAnswer();

    app.action("actionSettings")->trigger();
    app.action("actionHelp")->trigger();
    app.action("actionAbout")->trigger();
    app.delegate->showDebugReports(); // no menu item: for support, over D-Bus or a shortcut
    for (const char* name : {"settingsWindow", "helpWindow", "aboutWindow", "debugWindow"}) {
        const QList<QWidget*> windows = topLevelWidgetsNamed(name);
        ASSERT_EQ(windows.size(), 1) << name;
        expectCentredOnTheLargestMonitor(windows.first());
    }
    // Asked again, the same window comes forward.
    app.action("actionSettings")->trigger();
    EXPECT_EQ(topLevelWidgetsNamed("settingsWindow").size(), 1);
}

TEST_F(WindowsOnDesktop, AKeyComboIsRecordedFromTheRealKeyboard)
{
    const auto keys = XKeyPressTranslator::open();
    ASSERT_TRUE(keys->hasDisplay());
    SettingsWindowHarness settings;
    settings.translator = keys.get();
    settings.window().showWindow();
    SettingsWindowHarness::choose(settings.popup("penModifierAction"), "Key combo...");
    VTKeyComboRecorderWindowController* recorder = settings.window().comboRecorder();
    ASSERT_TRUE(recorder);
    ASSERT_EVENTUALLY(recorder->window()->isActiveWindow(), 5000);

    ASSERT_EQ(DesktopSession::current()->server().runClient("xdotool", {"key", "super+shift+4"}), 0);
    ASSERT_EVENTUALLY(!settings.window().comboRecorder(), 5000);
    EXPECT_EQ(settings.store.keyComboKeyCodeForInput(InputType::Pen), 21);
    EXPECT_EQ(settings.store.keyComboFlagsForInput(InputType::Pen), 0x120000u);
    EXPECT_EQ(settings.store.keyComboLabelForInput(InputType::Pen), "Shift+Cmd+4");
}
