// What the delegate does about the world around touch: the active
// application, sleep and wake, user switching, displays and the cursor.
#include "app/VTAppDelegate.h"

#include "app/ActiveApplicationSource.h"
#include "app/CursorControl.h"
#include "app/EventSinkProvider.h"
#include "app/ProfileMatching.h"
#include "app/SessionEvents.h"
#include "settings/SettingsStore.h"
#include "touch/VTTouchBridge.h"

namespace {

constexpr double kWakeRestartDelay = 1.25;
constexpr double kDisplayRefreshDelay = 0.45;
constexpr int kCursorShowRepetitions = 8;
constexpr std::size_t kDisplayListLimit = 32;

} // namespace

void VTAppDelegate::frontmostApplicationChanged(const ActiveApplication& application)
{
    SettingsStore& settings = m_env.settings;
    if (!settings.automaticProfileSwitching())
        return;
    // Our own menu and windows never change the profile.
    if (application.identifier == m_env.ownIdentifier)
        return;
    const QString target = profileForApplicationName(settings.profileNames(), application.name);
    if (target != settings.activeProfileName())
        settings.applyProfileNamed(target);
}

void VTAppDelegate::workspaceWillSleep()
{
    cancelTimer(m_wakeRestartTimer);
    m_touchWasRunningBeforeSleep = m_bridge->running();
    m_compatibilityModeBeforeSleep = m_bridge->compatibilityTestMode();
    if (m_touchWasRunningBeforeSleep) {
        stopTouch();
        refreshMenu();
    }
    // Sleep may go ahead now.
    m_env.session.setSleepDelayWanted(false);
}

void VTAppDelegate::workspaceDidWake()
{
    if (updateRequired())
        return;
    if (!m_touchWasRunningBeforeSleep && !m_bridge->running())
        return;
    // A wake without a sleep before it still restarts cleanly.
    if (m_bridge->running())
        stopTouch();
    cancelTimer(m_wakeRestartTimer);
    m_wakeRestartTimer = m_env.scheduler.schedule(kWakeRestartDelay, [this] { restartTouchAfterWake(); });
    refreshMenu();
}

void VTAppDelegate::restartTouchAfterWake()
{
    m_wakeRestartTimer = 0;
    if (updateRequired())
        return;
    m_bridge->setCompatibilityTestMode(m_compatibilityModeBeforeSleep || initialCompatibilitySetupRequired());
    startTouch();
    m_touchWasRunningBeforeSleep = false;
    m_compatibilityModeBeforeSleep = false;
    refreshMenu();
}

void VTAppDelegate::sessionActiveChanged(bool active)
{
    if (!active) {
        // Another user has the seat: their display input is not ours to read
        // or post, so let go of the device, its grabs and the virtual devices.
        // The compatibility mode stays with the bridge for the return.
        // A bridge waiting for its display would otherwise take it when it
        // is plugged in for the other user.
        if (m_bridge->running() || m_bridge->waitingForDevice()) {
            m_touchWasRunningBeforeInactive = true;
            stopTouch();
            refreshMenu();
        }
        releaseEventSink(true);
        return;
    }
    if (std::exchange(m_touchWasRunningBeforeInactive, false) && !updateRequired())
        startTouch();
}

void VTAppDelegate::displayConfigurationChanged()
{
    scheduleDisplayMappingRefresh();
}

void VTAppDelegate::scheduleDisplayMappingRefresh()
{
    cancelTimer(m_displayRefreshTimer);
    m_displayRefreshTimer = m_env.scheduler.schedule(kDisplayRefreshDelay, [this] { displayMappingRefreshTimerFired(); });
}

void VTAppDelegate::displayMappingRefreshTimerFired()
{
    m_displayRefreshTimer = 0;
    if (!m_bridge->running())
        return;
    m_bridge->refreshDisplayMapping();
    refreshMenu();
}

void VTAppDelegate::deviceSelectionChanged()
{
    if (updateRequired())
        return;
    // The start keeps the first-run check's test mode on while it is due.
    if (m_bridge->running()) {
        stopTouch();
        startTouch();
    }
    refreshMenu();
}

void VTAppDelegate::displaySelectionChanged()
{
    scheduleDisplayMappingRefresh();
}

std::vector<DisplayServices::DisplayID> VTAppDelegate::cursorDisplays() const
{
    std::vector<DisplayServices::DisplayID> displays = m_env.displays.activeDisplays();
    if (displays.size() > kDisplayListLimit)
        displays.resize(kDisplayListLimit);
    if (displays.empty())
        displays.push_back(m_env.displays.mainDisplay());
    return displays;
}

void VTAppDelegate::setCursorHidden(bool hidden)
{
    if (hidden) {
        for (const DisplayServices::DisplayID display : cursorDisplays())
            m_env.cursor.hideCursor(display);
        m_cursorHidden = true;
        return;
    }
    if (!m_cursorHidden)
        return;
    // Hides are counted; enough shows undo every hide made so far.
    for (const DisplayServices::DisplayID display : cursorDisplays()) {
        for (int i = 0; i < kCursorShowRepetitions; ++i)
            m_env.cursor.showCursor(display);
    }
    m_cursorHidden = false;
}

void VTAppDelegate::applyCursorHiddenPreference()
{
    setCursorHidden(m_env.settings.hideCursor());
    refreshMenu();
}

void VTAppDelegate::toggleHideCursor()
{
    m_env.settings.setSettingValue(SettingsKey::HideCursor, !m_env.settings.hideCursor());
    applyCursorHiddenPreference();
}
