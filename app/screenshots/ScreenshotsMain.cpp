// Renders the program's windows to PNG files for the README: `make screenshots`.
// Each window is built on a throwaway settings folder with the demo recording
// as the connected display, and drawn by the offscreen platform, so the
// pictures are the same on every machine.
#include "app/AppEnvironment.h"
#include "app/AppResources.h"
#include "app/VTAppDelegate.h"
#include "base/AlertPresenter.h"
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/UserDefaults.h"
#include "base/Workspace.h"
#include "compat/VTCompatibilityWindowController.h"
#include "compat/VTIntroCompatibilityWindowController.h"
#include "gestures/TraceEventSink.h"
#include "keyboard/KeyboardIcons.h"
#include "keyboard/PanelPlatform.h"
#include "keyboard/VTTouchKeyboardController.h"
#include "platform/linux/XKeyPressTranslator.h"
#include "service/AppPolicy.h"
#include "service/ServiceClient.h"
#include "settings/SettingsStore.h"
#include "settings_ui/LoginItem.h"
#include "settings_ui/VTSettingsWindowController.h"
#include "tests/support/FakeDesktop.h"
#include "tests/support/FakeDisplayServices.h"
#include "tests/support/FakeUserNotifier.h"
#include "touch/DeviceDiscovery.h"
#include "touch/DisplayServices.h"
#include "touch/HidRecording.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"
#include "windows/VTAboutWindowController.h"
#include "windows/VTDebugWindowController.h"
#include "windows/VTHelpWindowController.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

class NoAlerts final : public AlertPresenter {
public:
    AlertResult runModal(const Alert&) override { return {}; }
};

class NoWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl&) override { return false; }
};

class StartsAtLogin final : public LoginItem {
public:
    bool isEnabled() const override { return true; }
    std::optional<VTError> setEnabled(bool) override { return std::nullopt; }
};

struct Scene {
    explicit Scene(const HidRecording& recording)
        : defaults(dir.path())
        , store(defaults, center)
        , source(recording, scheduler)
    {
        store.registerDefaults();
        // Two monitors side by side, the left one primary.
        displays.addDisplay(1, QRectF(0, 0, 1920, 1080));
        displays.addDisplay(2, QRectF(1920, 0, 3840, 2160));
        displays.setMainDisplay(1);
    }

    QTemporaryDir dir;
    UserDefaults defaults;
    NotificationCenter center;
    SettingsStore store;
    ManualScheduler scheduler{0.0};
    TraceEventSink sink{scheduler};
    FakeDisplayServices displays;
    RecordingDeviceSource source;
    NoAlerts alerts;
    NoWorkspace workspace;
    XKeyPressTranslator keys;
    StartsAtLogin login;
    ServiceClient client{defaults};
};

// A report and its frame as the bridge announces them, with contacts at
// fractions of the window (global positions, as mapped contacts carry).
void announceTouch(Scene& scene, const QWidget* window, const QList<std::tuple<int, int, double, double>>& contacts)
{
    const QRect frame = window->frameGeometry();
    QVariantList dictionaries;
    for (const auto& [kind, id, fx, fy] : contacts) {
        dictionaries.append(QVariantMap{{QStringLiteral("kind"), kind},
                                        {QStringLiteral("kindName"), kind == 2 ? QStringLiteral("pen") : QStringLiteral("finger")},
                                        {QStringLiteral("id"), id},
                                        {QStringLiteral("screenX"), frame.x() + fx * frame.width()},
                                        {QStringLiteral("screenY"), frame.y() + fy * frame.height()}});
    }
    scene.center.post(VTNotification::CompatibilityReport, nullptr,
                      {{QStringLiteral("text"), QStringLiteral("0050 bytes: 01 07 01 00 20 66 26 30 30")},
                       {QStringLiteral("contacts"), dictionaries}});
    scene.center.post(VTNotification::TouchFrame, nullptr, {{QStringLiteral("contacts"), dictionaries}});
}

bool save(QWidget* window, const QDir& out, const QString& name)
{
    window->show();
    QApplication::processEvents();
    const QString path = out.filePath(name + QStringLiteral(".png"));
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The status menu of the running application, touch active on the demo
// display. The desktop around it is simulated as in the tests; the service
// is unreachable, so the start-up goes on as it does offline.
bool saveStatusMenu(Scene& scene, const QDir& out)
{
    UserDefaults& defaults = scene.store.defaults();
    defaults.setValue(SettingsKey::ApiBaseURL, QStringLiteral("http://127.0.0.1:9/"));
    defaults.setValue(SettingsKey::WelcomeAcceptedVersion, QCoreApplication::applicationVersion());
    defaults.setValue(SettingsKey::InitialCompatibilityReportSent, true);
    FakeUserNotifier notifier;
    bool ended = false;
    AppPolicy policy({scene.client, defaults, scene.alerts, scene.workspace, notifier, scene.center, scene.scheduler,
                      QCoreApplication::applicationVersion(), QStringLiteral("1"), [&ended] { ended = true; }});
    TraceEventSinkProvider sinks(scene.scheduler);
    FakePermissionHelper permissions;
    FakeTrayHost tray;
    tray.setPresent(true);
    FakeSessionEvents session;
    FakeActiveApplicationSource activeApplication;
    FakeCursorControl cursor;
    AppEnvironment environment{scene.scheduler, scene.store,   scene.center, scene.source, scene.displays,
                               sinks,           scene.alerts,  scene.workspace, permissions, tray,
                               session,         activeApplication, cursor,     policy};
    environment.applicationVersion = QCoreApplication::applicationVersion();
    environment.terminate = [&ended] { ended = true; };
    VTAppDelegate delegate(std::move(environment));
    delegate.applicationDidFinishLaunching();
    QElapsedTimer clock;
    clock.start();
    while (!delegate.startupContinued() && !ended && clock.elapsed() < 15000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        scene.scheduler.runDue();
    }
    scene.scheduler.runDue();
    QMenu* menu = delegate.menu();
    menu->popup(QPoint(0, 0));
    const bool saved = save(menu, out, QStringLiteral("status-menu"));
    menu->hide();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(VELOTAP_VERSION));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: velotap-screenshots DEMO_RECORDING OUTPUT_DIRECTORY\n");
        return 2;
    }
    QString error;
    const std::optional<HidRecording> recording = readHidRecordingFile(args[1], &error);
    if (!recording) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args[1]), qPrintable(error));
        return 2;
    }
    const QDir out(args[2]);
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }

    Scene scene(*recording);
    // A profile of one's own, and a pen that switches tools before it draws.
    scene.store.saveCurrentValuesAsProfileNamed(QStringLiteral("Whiteboard"));
    scene.store.setSettingValue(QStringLiteral("finger2MouseAction"), 5);
    scene.store.setSettingValue(QStringLiteral("penModifierAction"), 8);
    scene.store.setSettingValue(QStringLiteral("penKeyComboKeyCode"), 35);
    scene.store.setSettingValue(QStringLiteral("penKeyComboFlags"), 0x40000);
    scene.store.setSettingValue(QStringLiteral("penKeyComboLabel"), QStringLiteral("Ctrl+P"));
    scene.store.setSettingValue(SettingsKey::DeviceSelection, deviceSignature(scene.source.device()));

    bool ok = true;
    VTSettingsWindowController settings({scene.store, scene.center, scene.source, scene.displays, scene.alerts,
                                         scene.keys, scene.login});
    settings.showWindow();
    settings.window()->findChild<QToolButton*>(QStringLiteral("advancedDisclosure"))->click();
    ok &= save(settings.window(), out, QStringLiteral("settings-window"));

    VTDebugWindowController debug(scene.center);
    debug.showWindow();
    VTTouchBridge bridge({scene.source, scene.sink, scene.scheduler, scene.store, scene.displays, scene.center, 0.5, {}});
    if (bridge.start()) {
        while (scene.source.deliveredCount() < 24 && scene.scheduler.hasPending())
            scene.scheduler.advanceTo(scene.scheduler.nextDueTime());
        bridge.stop();
    }
    ok &= save(debug.window(), out, QStringLiteral("debug-window"));

    VTHelpWindowController help({scene.workspace, scene.alerts, QUrl(), KeyboardIcons::shared()});
    ok &= save(help.window(), out, QStringLiteral("help-window"));

    VTAboutWindowController about({QIcon(AppResources::path(QStringLiteral("velotap.svg"))),
                                   QCoreApplication::applicationVersion(), [] {}, [] {}, [] {}});
    ok &= save(about.window(), out, QStringLiteral("about-window"));

    // The touch keyboard, its letters with shift latched, then its symbols.
    PlainPanelPlatform panelPlatform;
    VTTouchKeyboardController keyboard({scene.sink, scene.scheduler, scene.store, scene.center, panelPlatform});
    keyboard.showKeyboard();
    keyboard.logic().keyPressed(KeyDescriptor::actionKey(QStringLiteral("shift"), {}, KeyAction::Shift));
    ok &= save(keyboard.panel(), out, QStringLiteral("keyboard-letters"));
    keyboard.logic().keyPressed(KeyDescriptor::actionKey(QStringLiteral("#+="), {}, KeyAction::Symbols));
    scene.scheduler.runDue();
    ok &= save(keyboard.panel(), out, QStringLiteral("keyboard-symbols"));

    const CompatibilityEnvironment compat{scene.store,   scene.center,   scene.scheduler, scene.client,
                                          scene.source,  scene.displays, scene.workspace};
    VTIntroCompatibilityWindowController check(compat);
    check.showWindow();
    QApplication::processEvents();
    // Two fingers sliding apart, then the pen.
    for (int step = 0; step < 8; ++step) {
        const double spread = 0.03 * step;
        announceTouch(scene, check.window(), {{1, 1, 0.30 - spread, 0.40}, {1, 2, 0.40 + spread, 0.50}});
        scene.scheduler.advance(0.02);
    }
    announceTouch(scene, check.window(), {});
    scene.scheduler.advance(0.3);
    announceTouch(scene, check.window(), {{2, 1, 0.45, 0.30}});
    scene.scheduler.advance(0.12);
    check.window()->findChild<QComboBox*>(QStringLiteral("modelPopup"))->setCurrentText(QStringLiteral("Samsung Flip 2"));
    ok &= save(check.window(), out, QStringLiteral("compatibility-check"));

    VTCompatibilityWindowController stepTest(compat);
    stepTest.showWindow();
    stepTest.window()->findChild<QComboBox*>(QStringLiteral("modelPopup"))->setCurrentText(QStringLiteral("Samsung Flip Pro"));
    stepTest.window()->findChild<QPushButton*>(QStringLiteral("startButton"))->click();
    for (int fingers : {1, 2}) {
        QList<std::tuple<int, int, double, double>> touch;
        for (int id = 1; id <= fingers; ++id)
            touch.append({1, id, 0.3 + 0.1 * id, 0.5});
        announceTouch(scene, stepTest.window(), touch);
        scene.scheduler.advance(0.7);
    }
    scene.scheduler.advance(3.2);
    announceTouch(scene, stepTest.window(), {{1, 1, 0.4, 0.5}, {1, 2, 0.5, 0.5}, {1, 3, 0.6, 0.5}});
    ok &= save(stepTest.window(), out, QStringLiteral("compatibility-test"));

    ok &= saveStatusMenu(scene, out);
    return ok ? 0 : 1;
}
