#pragma once
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class ActiveApplicationSource;
class AlertPresenter;
class AppWindow;
class AppPolicy;
class CursorControl;
class DisplayServices;
class EventSinkProvider;
class HidDeviceSource;
class KeyboardPanel;
class NotificationCenter;
class PermissionHelper;
class Scheduler;
class SessionEvents;
class SettingsStore;
class TrayHost;
class VTAppDelegate;
class VTTouchIndicatorController;
class Workspace;

// Makes one window of the application on first request; the delegate keeps
// it for the rest of the process. Empty where the window does not exist.
using WindowFactory = std::function<std::unique_ptr<AppWindow>(VTAppDelegate& delegate)>;

struct AppWindowFactories {
    WindowFactory settings;
    WindowFactory help;
    WindowFactory about;
    WindowFactory debugReports;
    WindowFactory compatibilityCheck;
    // The step-by-step compatibility test, opened from the About window.
    WindowFactory compatibilityTest;
    // The touch indicators, made at launch and kept; none when empty.
    std::function<std::unique_ptr<VTTouchIndicatorController>(VTAppDelegate& delegate)> touchIndicators;
    // The touch keyboard, made at launch; a panel that only remembers its
    // state when empty.
    std::function<std::unique_ptr<KeyboardPanel>(VTAppDelegate& delegate)> keyboard;
};

// Everything the application shell needs from the desktop and the rest of
// the program, so the delegate can run on fakes in tests.
struct AppEnvironment {
    Scheduler& scheduler;
    SettingsStore& settings;
    NotificationCenter& notifications;
    HidDeviceSource& devices;
    const DisplayServices& displays;
    EventSinkProvider& eventSinks;
    AlertPresenter& alerts;
    Workspace& workspace;
    PermissionHelper& permissions;
    TrayHost& tray;
    SessionEvents& session;
    ActiveApplicationSource& activeApplication;
    CursorControl& cursor;
    AppPolicy& policy;
    AppWindowFactories windows{};

    QString applicationVersion{};
    // The identifier the active-application source reports for our own windows.
    QString ownIdentifier = QStringLiteral("velotap");
    QUrl helpPage{};
    QUrl termsPage{};
    // The status icon's image file; the icon is drawn when it cannot be read.
    QString statusIconPath{};
    // The desktop's double-click time in seconds.
    double doubleClickInterval = 0.5;
    // Registers the handler for display arrangement changes (empty: none).
    std::function<void(std::function<void()>)> watchDisplayChanges{};
    // Ends the application's run loop.
    std::function<void()> terminate{};
};
