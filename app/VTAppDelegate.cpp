#include "app/VTAppDelegate.h"

#include "app/ActiveApplicationSource.h"
#include "app/EventSinkProvider.h"
#include "app/KeyboardPanel.h"
#include "app/PermissionHelper.h"
#include "app/SessionEvents.h"
#include "app/StatusPresenter.h"
#include "base/AlertPresenter.h"
#include "base/Notifications.h"
#include "base/Workspace.h"
#include "service/AppPolicy.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/VTTouchBridge.h"
#include "visual/VTTouchIndicatorController.h"

#include <QLoggingCategory>
#include <QMenu>

#include <algorithm>

Q_LOGGING_CATEGORY(lcApp, "velotap.app")

namespace {

const QString kAccessibility = QStringLiteral("Accessibility");
const QString kInputMonitoring = QStringLiteral("Input Monitoring");

// The steps name Linux's way of granting access: the udev rule.
const QString kWelcomeText = QStringLiteral(
    "Velotap reads touch input from a connected Microsoft HID compatible display. It needs the Accessibility "
    "permission (posting input through XTest or /dev/uinput) and the Input Monitoring permission (reading the "
    "display's /dev/hidraw node).\n\n"
    "During first setup, Compatibility Check sends anonymous USB, HID and touch report data to Orvanta to "
    "improve display support and service quality.\n\n");

const QString kFirstRunNoticeText = QStringLiteral(
    "Velotap needs two permissions before touch setup can continue.\n\n"
    "Accessibility lets Velotap post input through XTest (X11 sessions) or /dev/uinput; Input Monitoring lets it "
    "read the touch display's /dev/hidraw node. Velotap's udev rule gives both to the user at the seat. Velotap "
    "now asks for an administrator password to install it; to install it yourself, run "
    "\"sudo velotap install-udev-rule\".\n\n"
    "After installing the rule, quit and reopen Velotap. Compatibility Check will start on the next launch.");

const QString kPermissionErrorSteps[] = {
    QStringLiteral("Velotap needs:\n"),
    QStringLiteral("- Accessibility: input posted through XTest (an X11 session) or a writable /dev/uinput.\n"),
    QStringLiteral("- Input Monitoring: read access to the touch display's /dev/hidraw node. Velotap's udev rule "
                   "grants both: run \"sudo velotap install-udev-rule\", then replug the display.\n\n"),
    QStringLiteral("After changing permissions, quit and reopen Velotap if touch does not start immediately."),
};

QUrl withFragment(QUrl url, const QString& fragment)
{
    url.setFragment(fragment);
    return url;
}

} // namespace

VTAppDelegate::VTAppDelegate(AppEnvironment environment)
    : m_env(std::move(environment))
{
}

VTAppDelegate::~VTAppDelegate()
{
    applicationWillTerminate();
    // Nothing may stay pressed or grabbed when the application goes.
    if (m_bridge)
        stopTouch();
}

bool VTAppDelegate::updateRequired() const
{
    return m_env.policy.updateRequired();
}

void VTAppDelegate::observe(const QString& name, NotificationCenter::Callback callback)
{
    m_observers.emplace_back(m_env.notifications, name, std::move(callback));
}

void VTAppDelegate::cancelTimer(Scheduler::TimerId& timer)
{
    m_env.scheduler.cancel(timer);
    timer = 0;
}

void VTAppDelegate::applicationDidFinishLaunching()
{
    m_bridge = std::make_unique<VTTouchBridge>(VTTouchBridge::Environment{
        m_env.devices, m_touchSink, m_env.scheduler, m_env.settings, m_env.displays, m_env.notifications,
        m_env.doubleClickInterval, [this] { return ensureEventSink(); }});
    m_bridge->setRunningChangedHandler([this] {
        touchStateChanged();
        refreshMenu();
    });
    m_touchKeyboardController = m_env.windows.keyboard ? m_env.windows.keyboard(*this)
                                                       : std::make_unique<RememberedKeyboardPanel>();
    if (m_env.windows.touchIndicators)
        m_touchIndicatorController = m_env.windows.touchIndicators(*this);

    buildMenu();
    m_statusItem = std::make_unique<StatusPresenter>(m_env.tray, m_menu.get(), statusIcon(m_env.statusIconPath),
                                                     QStringLiteral("Velotap"));
    qCDebug(lcApp) << "Velotap status menu shown" << (m_statusItem->inTray() ? "in the tray" : "in its window");

    observe(VTNotification::DeviceSelectionDidChange, [this](const Notification&) { deviceSelectionChanged(); });
    observe(VTNotification::DisplaySelectionDidChange, [this](const Notification&) { displaySelectionChanged(); });
    observe(VTNotification::CompatibilityTestModeDidChange,
            [this](const Notification& n) { compatibilityTestModeChanged(n); });
    observe(VTNotification::InitialCompatibilityCompleted,
            [this](const Notification&) { initialCompatibilityCompleted(); });
    observe(VTNotification::SettingsProfileDidChange, [this](const Notification&) { settingsProfileChanged(); });
    observe(VTNotification::MinimumSupportedVersionFailed,
            [this](const Notification&) { minimumSupportedVersionFailed(); });
    m_env.activeApplication.setHandler([this](const ActiveApplication& a) { frontmostApplicationChanged(a); });
    m_env.session.setHandlers({[this] { workspaceWillSleep(); }, [this] { workspaceDidWake(); },
                               [this](bool active) { sessionActiveChanged(active); }});
    if (m_env.watchDisplayChanges)
        m_env.watchDisplayChanges([this] { displayConfigurationChanged(); });

    // Every launch begins with the cursor visible, whatever was stored.
    m_env.settings.setSettingValue(SettingsKey::HideCursor, false);
    setCursorHidden(false);

    if (!showWelcomeIfNeeded()) {
        qCInfo(lcApp) << "Velotap welcome declined; quitting";
        m_env.terminate();
        return;
    }
    m_env.policy.fetchAppPolicyOnLaunch([this] { continueStartupAfterPolicyCheck(); });
}

void VTAppDelegate::applicationWillTerminate()
{
    if (std::exchange(m_terminated, true))
        return;
    cancelTimer(m_displayRefreshTimer);
    cancelTimer(m_wakeRestartTimer);
    if (m_env.watchDisplayChanges)
        m_env.watchDisplayChanges({});
    m_observers.clear();
    m_env.activeApplication.setHandler({});
    m_env.session.setHandlers({});
    setCursorHidden(false);
}

QStringList VTAppDelegate::missingPermissionNames() const
{
    QStringList names;
    if (!m_env.eventSinks.canPost())
        names << kAccessibility;
    // Like touch start: with no display attached there is nothing to read yet.
    const std::vector<HidDeviceInfo> matched =
        matchingDevices(m_env.devices.devices(), normalizedDeviceSelection(m_env.settings.deviceSelection()));
    if (!matched.empty()
        && std::none_of(matched.begin(), matched.end(), [this](const HidDeviceInfo& d) { return m_env.devices.canRead(d); }))
        names << kInputMonitoring;
    return names;
}

void VTAppDelegate::requestMissingSystemPermissions()
{
    const QStringList missing = missingPermissionNames();
    if (!missing.isEmpty())
        m_env.permissions.requestAccess(missing);
}

void VTAppDelegate::openPermissionHelp()
{
    m_env.workspace.openUrl(withFragment(m_env.helpPage, QStringLiteral("permissions")));
}

bool VTAppDelegate::showFirstRunPermissionNoticeForMissingPermissions(const QStringList&)
{
    Alert alert;
    alert.message = QStringLiteral("Velotap needs permissions");
    alert.informativeText = kFirstRunNoticeText;
    alert.buttons = {QStringLiteral("OK, I understand")};
    alert.accessoryButton = QStringLiteral("Help");
    alert.accessoryAction = [this] { openPermissionHelp(); };
    m_env.alerts.runModal(alert);
    return true;
}

bool VTAppDelegate::initialCompatibilitySetupRequired() const
{
    UserDefaults& defaults = m_env.settings.defaults();
    return !defaults.boolValue(SettingsKey::InitialCompatibilityReportSent)
        || defaults.boolValue(SettingsKey::PermissionsCompatibilityCheckPending);
}

bool VTAppDelegate::showWelcomeIfNeeded()
{
    const QString accepted = m_env.settings.defaults().stringValue(SettingsKey::WelcomeAcceptedVersion);
    if (missingPermissionNames().isEmpty() && !accepted.isEmpty() && accepted == m_env.applicationVersion)
        return true;

    Alert alert;
    alert.message = QStringLiteral("Welcome to Velotap");
    alert.informativeText = kWelcomeText;
    alert.buttons = {QStringLiteral("Accept and Continue"), QStringLiteral("View License Terms"), QStringLiteral("Quit")};
    for (;;) {
        const int button = m_env.alerts.runModal(alert).button;
        if (button == 1) {
            m_env.workspace.openUrl(m_env.termsPage);
            continue;
        }
        if (button != 0)
            return false;
        m_env.settings.defaults().setValue(SettingsKey::WelcomeAcceptedVersion, m_env.applicationVersion);
        return true;
    }
}

void VTAppDelegate::continueStartupAfterPolicyCheck()
{
    if (m_startupContinued || updateRequired() || m_terminated)
        return;
    m_startupContinued = true;

    const QStringList missing = missingPermissionNames();
    if (!missing.isEmpty()) {
        showFirstRunPermissionNoticeForMissingPermissions(missing);
        m_env.settings.defaults().setValue(SettingsKey::PermissionsCompatibilityCheckPending, true);
        requestMissingSystemPermissions();
        refreshMenu();
        return;
    }
    if (initialCompatibilitySetupRequired()) {
        m_bridge->setCompatibilityTestMode(true);
        startTouch();
        showInitialCompatibilityCheckIfNeeded();
        refreshMenu();
        return;
    }
    startTouch();
}

bool VTAppDelegate::ensureEventSink()
{
    if (m_eventSink)
        return true;
    VTError error;
    m_eventSink = m_env.eventSinks.acquire(&error);
    if (!m_eventSink)
        qCWarning(lcApp).noquote() << "Velotap cannot post input:" << error.description;
    return m_eventSink != nullptr;
}

void VTAppDelegate::releaseEventSink(bool evenForTheKeyboard)
{
    if (!evenForTheKeyboard && m_touchKeyboardController && m_touchKeyboardController->visible())
        return;
    m_eventSink = nullptr;
    m_env.eventSinks.release();
}

void VTAppDelegate::stopTouch()
{
    m_bridge->stop();
    releaseEventSink();
    touchStateChanged();
}

void VTAppDelegate::touchStateChanged()
{
    m_env.session.setSleepDelayWanted(m_bridge->running());
}

void VTAppDelegate::startTouch()
{
    if (!m_env.session.sessionActive()) {
        // Another user has the seat: start when this session is active again.
        m_touchWasRunningBeforeInactive = true;
        refreshMenu();
        return;
    }
    if (initialCompatibilitySetupRequired())
        m_bridge->setCompatibilityTestMode(true);
    VTError error;
    const bool started = m_bridge->start(&error);
    qCInfo(lcApp).noquote() << "Velotap touch:" << m_bridge->statusText()
                            << (started ? m_bridge->device().node : error.description);
    if (!started) {
        // A failed start leaves nothing open; the sink goes too.
        releaseEventSink();
        // The alert is about permissions: a missing, busy or unsuitable
        // display is for the status line, not an alert claiming one.
        if (error.description.contains(kAccessibility) || error.description.contains(kInputMonitoring))
            showError(error);
    }
    touchStateChanged();
    refreshMenu();
}

bool VTAppDelegate::touchCommandAllowed()
{
    if (updateRequired())
        return false;
    // Until the first-run check is done, every touch command leads to it.
    if (initialCompatibilitySetupRequired()) {
        showCompatibilityCheckWindow();
        return false;
    }
    return true;
}

void VTAppDelegate::toggleTouch()
{
    if (!touchCommandAllowed())
        return;
    if (m_bridge->running()) {
        stopTouch();
        refreshMenu();
    } else {
        startTouch();
    }
}

void VTAppDelegate::showKeyboard()
{
    if (!touchCommandAllowed())
        return;
    if (m_touchKeyboardController->visible()) {
        m_touchKeyboardController->hideKeyboard();
        if (!m_bridge->running())
            releaseEventSink();
    } else {
        m_touchKeyboardController->showKeyboard();
    }
    refreshMenu();
}

void VTAppDelegate::showError(const VTError& error)
{
    const QString& description = error.description;
    const bool accessibility = description.contains(kAccessibility);
    const bool inputMonitoring = description.contains(kInputMonitoring);

    Alert alert;
    alert.message = QStringLiteral("Velotap needs permission");
    alert.informativeText = description + QStringLiteral("\n\n");
    for (const QString& step : kPermissionErrorSteps)
        alert.informativeText += step;
    const QString openInputMonitoring = QStringLiteral("Open Input Monitoring");
    const QString openAccessibility = QStringLiteral("Open Accessibility");
    if (inputMonitoring)
        alert.buttons << openInputMonitoring;
    if (accessibility)
        alert.buttons << openAccessibility;
    alert.buttons << QStringLiteral("OK");

    // No settings pane grants these here: the buttons open the help's steps.
    const QString pressed = m_env.alerts.runModal(alert).buttonTitle(alert);
    if (pressed == openInputMonitoring)
        m_env.workspace.openUrl(withFragment(m_env.helpPage, QStringLiteral("input-monitoring")));
    else if (pressed == openAccessibility)
        m_env.workspace.openUrl(withFragment(m_env.helpPage, QStringLiteral("accessibility")));
}

void VTAppDelegate::compatibilityTestModeChanged(const Notification& notification)
{
    if (updateRequired())
        return;
    const bool enabled = notification.userInfo.value(QStringLiteral("enabled")).toBool();
    if (enabled && !m_bridge->running())
        startTouch();
    m_bridge->setCompatibilityTestMode(enabled);
    refreshMenu();
}

void VTAppDelegate::initialCompatibilityCompleted()
{
    m_bridge->setCompatibilityTestMode(false);
    refreshMenu();
    if (!m_bridge->running() && !updateRequired())
        startTouch();
}

void VTAppDelegate::minimumSupportedVersionFailed()
{
    stopTouch();
    m_touchKeyboardController->hideKeyboard();
    refreshMenu();
}

void VTAppDelegate::showCompatibilityCheckWindow()
{
    showWindow(m_introCompatibilityWindowController, m_env.windows.compatibilityCheck, "compatibility check");
}

void VTAppDelegate::showCompatibilityTestWindow()
{
    showWindow(m_compatibilityWindowController, m_env.windows.compatibilityTest, "compatibility test");
}

void VTAppDelegate::showInitialCompatibilityCheckIfNeeded()
{
    if (!initialCompatibilitySetupRequired())
        return;
    m_env.scheduler.post([this] {
        if (!m_terminated)
            showCompatibilityCheckWindow();
    });
}

void VTAppDelegate::quit()
{
    setCursorHidden(false);
    stopTouch();
    m_env.terminate();
}

void VTAppDelegate::activate()
{
    if (m_statusItem)
        m_statusItem->activate();
}
