#pragma once
#include "app/AppEnvironment.h"
#include "app/AppWindow.h"
#include "app/ForwardingEventSink.h"
#include "base/NotificationCenter.h"
#include "base/Scheduler.h"
#include "base/VTError.h"
#include "touch/DisplayServices.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QAction;
class QIcon;
class QMenu;
class StatusPresenter;
class VTTouchBridge;
struct ActiveApplication;

// The application shell: owns the touch bridge, the keyboard panel, the
// status menu and the windows; walks the start-up (welcome, policy check,
// permissions, first-run compatibility check) and reacts to the session
// (sleep, wake, user switching, display changes, the active application).
// Main thread only.
class VTAppDelegate {
public:
    explicit VTAppDelegate(AppEnvironment environment);
    ~VTAppDelegate();
    VTAppDelegate(const VTAppDelegate&) = delete;
    VTAppDelegate& operator=(const VTAppDelegate&) = delete;

    // --- start-up and lifecycle -----------------------------------------
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    QStringList missingPermissionNames() const;
    void requestMissingSystemPermissions();
    void openPermissionHelp();
    bool showFirstRunPermissionNoticeForMissingPermissions(const QStringList& missing);
    bool initialCompatibilitySetupRequired() const;
    bool showWelcomeIfNeeded();
    void continueStartupAfterPolicyCheck();
    void startTouch();
    void toggleTouch();
    void showKeyboard();
    void showError(const VTError& error);
    void compatibilityTestModeChanged(const Notification& notification);
    void initialCompatibilityCompleted();
    void minimumSupportedVersionFailed();
    void showCompatibilityCheckWindow();
    void showCompatibilityTestWindow();
    void showInitialCompatibilityCheckIfNeeded();
    void quit();
    // Another launch asked this instance to come forward.
    void activate();

    // --- status menu ----------------------------------------------------
    // The image file, or the drawn disc when it cannot be read.
    static QIcon statusIcon(const QString& path);
    void buildMenu();
    void refreshMenu();
    void rebuildProfileMenu();
    void selectProfileFromMenu(const QString& name);
    void toggleAutomaticProfileSwitching();
    void settingsProfileChanged();
    void showSettings();
    void showHelp();
    void showAbout();
    void showDebugReports();

    // --- switching, sleep, wake, displays, cursor ------------------------
    void frontmostApplicationChanged(const ActiveApplication& application);
    void workspaceWillSleep();
    void workspaceDidWake();
    void restartTouchAfterWake();
    void sessionActiveChanged(bool active);
    // The display arrangement changed (any thread may not call this: the
    // platform delivers it on the main thread).
    void displayConfigurationChanged();
    void scheduleDisplayMappingRefresh();
    void displayMappingRefreshTimerFired();
    void deviceSelectionChanged();
    void displaySelectionChanged();
    void setCursorHidden(bool hidden);
    void applyCursorHiddenPreference();
    void toggleHideCursor();

    // --- for the windows and tests ----------------------------------------
    const AppEnvironment& environment() const { return m_env; }
    VTTouchBridge& bridge() { return *m_bridge; }
    KeyboardPanel& keyboard() { return *m_touchKeyboardController; }
    // What the keyboard panel posts through: the desktop's sink, made on
    // the first key when touch is not running.
    EventSink& keyboardEventSink() { return m_keyboardSink; }
    QMenu* menu() const { return m_menu.get(); }
    StatusPresenter& statusPresenter() { return *m_statusItem; }
    bool startupContinued() const { return m_startupContinued; }
    bool wakeRestartPending() const { return m_wakeRestartTimer != 0; }
    bool displayRefreshPending() const { return m_displayRefreshTimer != 0; }

private:
    bool updateRequired() const;
    // Touch, keyboard and settings: off while an update is required, the
    // compatibility check instead while it is outstanding.
    bool touchCommandAllowed();
    // Stops the bridge and lets go of what only running touch needs.
    void stopTouch();
    // After every start or stop: hold the sleep delay only while touch runs.
    void touchStateChanged();
    bool ensureEventSink();
    // Lets go of the desktop's sink unless the keyboard still needs it.
    void releaseEventSink(bool evenForTheKeyboard = false);
    void showWindow(std::unique_ptr<AppWindow>& window, const WindowFactory& factory, const char* name);
    void observe(const QString& name, NotificationCenter::Callback callback);
    void cancelTimer(Scheduler::TimerId& timer);
    std::vector<DisplayServices::DisplayID> cursorDisplays() const;

    AppEnvironment m_env;
    EventSink* m_eventSink = nullptr; // the provider's, while held
    ForwardingEventSink m_touchSink{[this] { return m_eventSink; }};
    ForwardingEventSink m_keyboardSink{[this] { return ensureEventSink() ? m_eventSink : nullptr; }};

    // Declared before the presenter that shows it, so it outlives the presenter.
    std::unique_ptr<QMenu> m_menu;
    QMenu* m_profileMenu = nullptr; // a child of m_menu, replaced with deleteLater()
    std::unique_ptr<StatusPresenter> m_statusItem;
    QAction* m_statusMenuItem = nullptr;
    QAction* m_toggleMenuItem = nullptr;
    QAction* m_keyboardMenuItem = nullptr;
    QAction* m_profileMenuItem = nullptr;
    QAction* m_settingsMenuItem = nullptr;
    std::unique_ptr<VTTouchBridge> m_bridge;
    std::unique_ptr<AppWindow> m_settingsWindowController;
    std::unique_ptr<AppWindow> m_aboutWindowController;
    std::unique_ptr<AppWindow> m_helpWindowController;
    std::unique_ptr<AppWindow> m_introCompatibilityWindowController;
    std::unique_ptr<AppWindow> m_compatibilityWindowController;
    std::unique_ptr<AppWindow> m_debugWindowController;
    std::unique_ptr<KeyboardPanel> m_touchKeyboardController;
    std::unique_ptr<VTTouchIndicatorController> m_touchIndicatorController;
    Scheduler::TimerId m_displayRefreshTimer = 0;
    Scheduler::TimerId m_wakeRestartTimer = 0;
    bool m_cursorHidden = false;
    bool m_startupContinued = false;
    bool m_touchWasRunningBeforeSleep = false;
    bool m_compatibilityModeBeforeSleep = false;
    // User switching: touch stopped because another session took the seat.
    bool m_touchWasRunningBeforeInactive = false;

    std::vector<ScopedObserver> m_observers;
    bool m_terminated = false;
};
