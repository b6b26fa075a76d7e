#include "app/DesktopApplication.h"

#include "app/ActiveApplicationSource.h"
#include "app/AppResources.h"
#include "app/ApplicationWindows.h"
#include "app/CompatibilityWindows.h"
#include "app/AppWindow.h"
#include "app/CursorControl.h"
#include "app/DesktopWorkspace.h"
#include "app/KeyboardPanel.h"
#include "app/QtAlertPresenter.h"
#include "app/QuitSignals.h"
#include "app/ScreenDisplayServices.h"
#include "app/SingleInstance.h"
#include "app/VTAppDelegate.h"
#include "base/NotificationCenter.h"
#include "base/QtScheduler.h"
#include "keyboard/VTTouchKeyboardController.h"
#include "platform/linux/DesktopEventSinkProvider.h"
#include "platform/linux/EventSinkFactory.h"
#include "platform/linux/FreedesktopNotifier.h"
#include "platform/linux/LogindSessionEvents.h"
#include "platform/linux/PkexecPermissionHelper.h"
#include "platform/linux/QtTrayHost.h"
#include "platform/linux/SysfsHidDeviceSource.h"
#include "platform/linux/X11ActiveApplicationSource.h"
#include "platform/linux/X11PanelPlatform.h"
#include "platform/linux/XFixesCursorControl.h"
#include "platform/linux/XKeyPressTranslator.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "platform/linux/XdgAutostartEntry.h"
#include "service/AppPolicy.h"
#include "service/ServiceClient.h"
#include "service/UpdateCheck.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QStyleHints>
#include <QTimer>

#include <cstdio>
#include <cstring>

Q_DECLARE_LOGGING_CATEGORY(lcApp)

namespace {

const QString kSimulateFirstInstall = QStringLiteral("--simulate-first-install");
const QString kFirstInstall = QStringLiteral("-firstinstall");
// Commands without a menu item: the option (and the desktop entry's action of
// the same name) runs them, in the running instance when there is one.
const QString kDebugReportsAction = QStringLiteral("debug-reports");
const QString kTogglePointerAction = QStringLiteral("toggle-pointer");
const QStringList kOptionActions = {kDebugReportsAction, kTogglePointerAction};

void runAction(VTAppDelegate& delegate, const QString& name)
{
    if (name == kDebugReportsAction)
        delegate.showDebugReports();
    else if (name == kTogglePointerAction)
        delegate.toggleHideCursor();
    else
        delegate.activate();
}

// Tests and demos run the application on a simulated display.
SysfsHidDeviceSource::Options deviceSourceOptions()
{
    SysfsHidDeviceSource::Options options;
    if (const QString root = qEnvironmentVariable("VELOTAP_SYSFS_ROOT"); !root.isEmpty())
        options.sysfsRoot = root;
    if (const QString root = qEnvironmentVariable("VELOTAP_DEV_ROOT"); !root.isEmpty())
        options.devRoot = root;
    return options;
}

bool isOption(const char* argument, const char* option)
{
    return std::strcmp(argument, option) == 0;
}

// Qt ends the process when it finds no window system; say it plainly instead.
bool windowSystemReachable()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    return EventSinkFactory::detectEnvironment().xDisplayReachable;
}

void simulateFirstInstall(UserDefaults& defaults)
{
    defaults.removeValue(SettingsKey::WelcomeAcceptedVersion);
    defaults.setValue(SettingsKey::InitialCompatibilityReportSent, false);
    defaults.setValue(SettingsKey::PermissionsCompatibilityCheckPending, false);
    defaults.synchronize();
}

// The touch keyboard as the delegate drives it.
class TouchKeyboardPanel final : public KeyboardPanel {
public:
    explicit TouchKeyboardPanel(const VTTouchKeyboardController::Environment& environment) : m_controller(environment) {}
    bool visible() const override { return m_controller.visible(); }
    void showKeyboard() override { m_controller.showKeyboard(); }
    void hideKeyboard() override { m_controller.hideKeyboard(); }

private:
    VTTouchKeyboardController m_controller;
};

} // namespace

bool isDesktopApplicationLaunch(int argc, char** argv)
{
    if (argc < 2)
        return true;
    const char* first = argv[1];
    if (isOption(first, "--help") || isOption(first, "-h") || isOption(first, "--version"))
        return false;
    return first[0] == '-';
}

int runDesktopApplication(int& argc, char** argv)
{
    if (!windowSystemReachable()) {
        std::fprintf(stderr, "velotap: no display to run the application on (DISPLAY cannot be reached and "
                             "WAYLAND_DISPLAY is not set); the commands work without one, see velotap --help\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velotap"));
    QApplication::setApplicationVersion(QStringLiteral(VELOTAP_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("velotap"));
    // Closing the status window leaves the program running in the background.
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList options = QApplication::arguments().mid(1);
    QString requestedAction;
    for (const QString& option : options) {
        if (option.startsWith(QLatin1String("--")) && kOptionActions.contains(option.mid(2))) {
            requestedAction = option.mid(2);
        } else if (option != kSimulateFirstInstall && option != kFirstInstall) {
            std::fprintf(stderr, "velotap: unknown option '%s'; see velotap --help\n", qPrintable(option));
            return 2;
        }
    }

    SettingsStore& settings = SettingsStore::standard();
    if (options.contains(kSimulateFirstInstall) || options.contains(kFirstInstall))
        simulateFirstInstall(settings.defaults());

    QtScheduler scheduler;
    NotificationCenter& notifications = NotificationCenter::defaultCenter();
    QtAlertPresenter alerts;
    DesktopWorkspace workspace;
    ServiceClient service(settings.defaults());
    FreedesktopNotifier notifier;
    AppPolicy policy({service, settings.defaults(), alerts, workspace, notifier, notifications, scheduler,
                      QApplication::applicationVersion(), QStringLiteral("1"), [] { QCoreApplication::exit(0); }});
    policy.loadPolicyResource(AppPolicy::shippedPolicyPath());

    SingleInstance instance;
    switch (instance.claim(5000, requestedAction)) {
    case SingleInstance::Outcome::OtherActivated:
        return 0;
    case SingleInstance::Outcome::OtherSilent:
        std::fprintf(stderr, "velotap: Velotap is already running but does not answer (%s)\n",
                     qPrintable(instance.detail()));
        return 1;
    case SingleInstance::Outcome::NoBus:
        qCWarning(lcApp).noquote() << "Velotap runs without single-instance check:" << instance.detail();
        break;
    case SingleInstance::Outcome::First:
        break;
    }

    SysfsHidDeviceSource devices(deviceSourceOptions());
    QString problem;
    std::unique_ptr<XRandrDisplayServices> xrandr = XRandrDisplayServices::open(&problem);
    std::unique_ptr<DisplayServices> screens;
    if (!xrandr) {
        qCInfo(lcApp).noquote() << "Velotap maps touch onto Qt's screens:" << problem;
        screens = std::make_unique<ScreenDisplayServices>();
    }
    const DisplayServices& displays = xrandr ? static_cast<const DisplayServices&>(*xrandr) : *screens;
    DesktopEventSinkProvider eventSinks(settings.defaults(), scheduler, displays);
    PkexecPermissionHelper permissions(QStringLiteral("pkexec"), PkexecPermissionHelper::installCommand());
    QtTrayHost tray;
    LogindSessionEvents session;

    const QString ownIdentifier = QGuiApplication::desktopFileName();
    std::unique_ptr<ActiveApplicationSource> activeApplication;
    if (EventSinkFactory::isWaylandSession()) {
        activeApplication =
            std::make_unique<NoActiveApplicationSource>(QStringLiteral("Switching needs an X11 session"));
    } else if (auto x11 = X11ActiveApplicationSource::open(ownIdentifier, DesktopEntries(), &problem)) {
        activeApplication = std::move(x11);
    } else {
        activeApplication = std::make_unique<NoActiveApplicationSource>(QStringLiteral("Switching needs an X display"));
    }
    std::unique_ptr<CursorControl> cursor = XFixesCursorControl::open(&problem);
    if (!cursor) {
        qCInfo(lcApp).noquote() << "Velotap cannot hide the pointer:" << problem;
        cursor = std::make_unique<NoCursorControl>();
    }
    // What the windows need besides the delegate's own.
    const QIcon applicationIcon(AppResources::path(QStringLiteral("velotap.svg")));
    QApplication::setWindowIcon(applicationIcon);
    std::unique_ptr<PanelPlatform> panelPlatform = createPanelPlatform();
    // Reads the keyboard layout when an X display is there, the key codes alone otherwise.
    const std::unique_ptr<XKeyPressTranslator> keys = XKeyPressTranslator::open();
    XdgAutostartEntry loginItem = XdgAutostartEntry::forCurrentUser();
    UpdateCheck updateCheck(policy);

    AppWindowFactories windows;
    windows.keyboard = [&](VTAppDelegate& delegate) {
        return std::make_unique<TouchKeyboardPanel>(VTTouchKeyboardController::Environment{
            delegate.keyboardEventSink(), scheduler, settings, notifications, *panelPlatform});
    };
    const ApplicationWindowServices windowServices{settings, notifications, devices, displays, alerts, workspace,
                                                   *keys, loginItem, updateCheck, applicationIcon,
                                                   QApplication::applicationVersion(), AppResources::helpPage()};
    addApplicationWindows(windows, windowServices);
    const CompatibilityWindowServices compatibilityServices{
        {settings, notifications, scheduler, service, devices, displays, workspace, AppResources::helpPage(),
         QApplication::applicationVersion()},
        [&panelPlatform] { return panelPlatform->supportsTranslucency(); }};
    addCompatibilityWindows(windows, compatibilityServices);

    AppEnvironment environment{scheduler, settings, notifications, devices, displays, eventSinks, alerts, workspace,
                               permissions, tray, session, *activeApplication, *cursor, policy, std::move(windows)};
    environment.applicationVersion = QApplication::applicationVersion();
    environment.ownIdentifier = ownIdentifier;
    environment.helpPage = AppResources::helpPage();
    environment.termsPage = AppResources::termsPage();
    environment.statusIconPath = AppResources::path(QStringLiteral("velotap-menubar_v2.svg"));
    environment.doubleClickInterval = QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
    environment.terminate = [] { QCoreApplication::exit(0); };
    if (xrandr) {
        XRandrDisplayServices* source = xrandr.get();
        // Only the delegate's own connection is replaced: the uinput sink
        // follows the same signal.
        auto connection = std::make_shared<QMetaObject::Connection>();
        environment.watchDisplayChanges = [source, connection](std::function<void()> handler) {
            QObject::disconnect(*connection);
            *connection = handler ? QObject::connect(source, &XRandrDisplayServices::displaysChanged, source,
                                                     std::move(handler))
                                  : QMetaObject::Connection();
        };
    }

    VTAppDelegate delegate(std::move(environment));
    QObject::connect(&instance, &SingleInstance::activated, &application, [&delegate] {
        qCInfo(lcApp) << "Velotap was asked to come forward";
        delegate.activate();
    });
    QObject::connect(&instance, &SingleInstance::actionActivated, &application,
                     [&delegate](const QString& name) { runAction(delegate, name); });
    QuitSignals quitSignals([&delegate] { delegate.quit(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &application,
                     [&delegate] { delegate.applicationWillTerminate(); });
    // After the run loop starts, so that quitting from the welcome alert works.
    QTimer::singleShot(0, &application, [&delegate, requestedAction] {
        delegate.applicationDidFinishLaunching();
        if (!requestedAction.isEmpty())
            runAction(delegate, requestedAction);
    });
    QApplication::exec();
    return 0;
}
