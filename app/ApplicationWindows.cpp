#include "app/ApplicationWindows.h"

#include "app/AppWindow.h"
#include "app/VTAppDelegate.h"
#include "keyboard/KeyboardIcons.h"
#include "service/UpdateCheck.h"
#include "settings_ui/VTSettingsWindowController.h"
#include "windows/VTAboutWindowController.h"
#include "windows/VTDebugWindowController.h"
#include "windows/VTHelpWindowController.h"

void addApplicationWindows(AppWindowFactories& windows, const ApplicationWindowServices& services)
{
    const ApplicationWindowServices* s = &services;
    windows.settings = [s](VTAppDelegate&) {
        return makeControllerWindow<VTSettingsWindowController>(VTSettingsWindowController::Environment{
            s->settings, s->notifications, s->devices, s->displays, s->alerts, s->keys, s->loginItem});
    };
    windows.help = [s](VTAppDelegate&) {
        return makeControllerWindow<VTHelpWindowController>(
            VTHelpWindowController::Environment{s->workspace, s->alerts, s->helpPage, KeyboardIcons::shared()});
    };
    windows.about = [s](VTAppDelegate& delegate) {
        return makeControllerWindow<VTAboutWindowController>(VTAboutWindowController::Environment{
            s->applicationIcon, s->version, [s] { s->updateCheck.checkForUpdates(); },
            [&delegate] { delegate.showCompatibilityCheckWindow(); },
            [&delegate] { delegate.showCompatibilityTestWindow(); }});
    };
    windows.debugReports = [s](VTAppDelegate&) {
        return makeControllerWindow<VTDebugWindowController>(s->notifications);
    };
}
