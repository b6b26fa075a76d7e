#include "app/CompatibilityWindows.h"

#include "app/AppWindow.h"
#include "app/KeyboardPanel.h"
#include "app/VTAppDelegate.h"
#include "compat/VTCompatibilityWindowController.h"
#include "compat/VTIntroCompatibilityWindowController.h"
#include "visual/VTTouchIndicatorController.h"

namespace {

CompatibilityEnvironment environmentFor(const CompatibilityWindowServices& s, VTAppDelegate& delegate)
{
    CompatibilityEnvironment environment{s.settings, s.notifications, s.scheduler, s.service,
                                         s.devices,  s.displays,      s.workspace};
    environment.helpPage = s.helpPage;
    environment.appVersion = s.version;
    environment.quitApplication = [&delegate] { delegate.quit(); };
    // Touches only feed the check meanwhile: the keyboard is for the mouse.
    environment.showKeyboard = [&delegate] {
        if (!delegate.keyboard().visible())
            delegate.keyboard().showKeyboard();
    };
    return environment;
}

} // namespace

void addCompatibilityWindows(AppWindowFactories& windows, const CompatibilityWindowServices& services)
{
    const CompatibilityWindowServices* s = &services;
    windows.compatibilityCheck = [s](VTAppDelegate& delegate) {
        return makeControllerWindow<VTIntroCompatibilityWindowController>(environmentFor(*s, delegate));
    };
    windows.compatibilityTest = [s](VTAppDelegate& delegate) {
        return makeControllerWindow<VTCompatibilityWindowController>(environmentFor(*s, delegate));
    };
    windows.touchIndicators = [s](VTAppDelegate&) {
        return std::make_unique<VTTouchIndicatorController>(
            VTTouchIndicatorController::Environment{s->settings, s->notifications, s->displays, s->scheduler, s->compositing});
    };
}
