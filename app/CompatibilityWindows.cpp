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
    CompatibilityEnvironment environment = s.environment;
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
        const CompatibilityEnvironment& e = s->environment;
        return std::make_unique<VTTouchIndicatorController>(
            VTTouchIndicatorController::Environment{e.settings, e.notifications, e.displays, e.scheduler, s->compositing});
    };
}
