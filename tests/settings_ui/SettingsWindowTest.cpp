#include "tests/settings_ui/SettingsWindowHarness.h"

#include "settings_ui/VTKeyComboRecorderWindowController.h"
#include "tests/support/QtPrinters.h"
#include "touch/DeviceDiscovery.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QJsonObject>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray kTouchDescriptor = QByteArray::fromHex(
    "050d0904a10185020922a1020942150025017501950181029507810309511500257f7508950181020501093009311500"
    "26ff0f751095028102c0050d095415002508750895018102c0");

HidDeviceInfo hidDevice(const QString& node, qint64 product, const QString& name, bool touchLayout)
{
    HidDeviceInfo info{node,
                       {{HidProperty::VendorID, qint64(0x4E8)}, {HidProperty::ProductID, product},
                        {HidProperty::LocationID, qint64(0x01400000)}, {HidProperty::Manufacturer, QStringLiteral("Samsung")},
                        {HidProperty::Product, name}}};
    if (touchLayout)
        info.properties.insert(HidProperty::ReportDescriptor, kTouchDescriptor);
    return info;
}

using Harness = SettingsWindowHarness;

} // namespace

class SettingsWindow : public ::testing::Test {
protected:
    Harness h;
};

TEST_F(SettingsWindow, DevicePopupListsDevicesKeepsADetachedSelectionAndFollowsChanges)
{
    QComboBox* devices = h.popup("devicePopup");
    EXPECT_EQ(Harness::itemTitles(devices), QStringList({"*Auto"}));

    const HidDeviceInfo flip = hidDevice("/dev/hidraw1", 0x2084, "Flip 2", true);
    h.devices.list = {flip, hidDevice("/dev/hidraw2", 0x1111, "Touch Display", false)};
    h.store.setSettingValue(SettingsKey::DeviceSelection, QStringLiteral("04e8:9999:01400000:Samsung:Gone:"));
    h.devices.announceChange();
    EXPECT_EQ(Harness::itemTitles(devices),
              QStringList({"Auto", "-", "Flip 2 (0x04e8:0x2084)", "Touch Display (0x04e8:0x1111) - possible", "-",
                           "*[Selected device not connected]"}));
    // Showing it again does not rewrite the stored choice.
    h.window().showWindow();
    EXPECT_EQ(h.store.deviceSelection(), "04e8:9999:01400000:Samsung:Gone:");

    NotificationCount changes(h.center, VTNotification::DeviceSelectionDidChange);
    Harness::choose(devices, "Flip 2 (0x04e8:0x2084)");
    EXPECT_EQ(h.store.deviceSelection(), deviceSignature(flip));
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(changes.sender, h.controller.get());
    EXPECT_EQ(Harness::itemTitles(devices).filter("*"), QStringList({"*Flip 2 (0x04e8:0x2084)"}));

    Harness::choose(devices, "Auto");
    EXPECT_EQ(h.store.deviceSelection(), "auto");
    EXPECT_EQ(changes.count, 2);
}

TEST_F(SettingsWindow, DisplayPopupOffersSecondaryWithTwoScreensAndShowsChoicesMadeElsewhere)
{
    QComboBox* displays = h.popup("displayPopup");
    EXPECT_EQ(Harness::itemTitles(displays), QStringList({"*Auto", "Primary display"}));

    h.displays.addDisplay(2, QRectF(1920, 0, 1280, 1024));
    h.window().displaysChanged();
    EXPECT_EQ(Harness::itemTitles(displays), QStringList({"*Auto", "Primary display", "Secondary display"}));

    NotificationCount changes(h.center, VTNotification::DisplaySelectionDidChange);
    NotificationCount deviceChanges(h.center, VTNotification::DeviceSelectionDidChange);
    Harness::choose(displays, "Secondary display");
    EXPECT_EQ(h.store.displaySelection(), "secondary");
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(changes.sender, h.controller.get());
    EXPECT_EQ(deviceChanges.count, 0);

    // A monitor chosen by its ID shows where it is; a gone one, or a value
    // the program does not know, shows as such and stays stored.
    const std::pair<QString, QString> shown[] = {{"display:2", "*Display at 1920,0 (1280×1024)"},
                                                 {"display:77", "*[Selected display not connected]"},
                                                 {"left", "*[Unknown (left)]"}};
    for (const auto& [stored, title] : shown) {
        h.store.setSettingValue(SettingsKey::DisplaySelection, stored);
        h.window().buildContent();
        EXPECT_EQ(Harness::itemTitles(displays).last(), title);
    }
    EXPECT_EQ(h.store.displaySelection(), "left");
    EXPECT_EQ(changes.count, 1);
}

TEST_F(SettingsWindow, ProfilesAreSavedChosenAndRemovedThroughTheDialogs)
{
    QComboBox* profiles = h.popup("profilePopup");
    NotificationCount changes(h.center, VTNotification::SettingsProfileDidChange);
    EXPECT_EQ(Harness::itemTitles(profiles), QStringList({"*Default", "-", "Save Current as...", "[Remove Current]", "-",
                                                          "Automatic Switching: On"}));
    EXPECT_EQ(profiles->itemData(profiles->count() - 1, Qt::CheckStateRole), Qt::Checked);

    // Blank names and "Default" are refused like a cancel: nothing saved, Default still shown.
    h.alerts.answer("Save", "   ");
    h.alerts.answer("Save", "Default");
    h.alerts.answer("Cancel", "Work");
    for (int i = 0; i < 3; ++i)
        Harness::choose(profiles, "Save Current as...");
    EXPECT_EQ(h.alerts.shown.size(), 3);
    EXPECT_EQ(h.store.profileNames(), QStringList({"Default"}));
    EXPECT_EQ(Harness::itemTitles(profiles).first(), "*Default");
    EXPECT_EQ(changes.count, 0);

    h.alerts.answer("Save", "  Studio ");
    Harness::choose(profiles, "Save Current as...");
    EXPECT_EQ(h.store.activeProfileName(), "Studio");
    EXPECT_EQ(changes.count, 1);
    EXPECT_EQ(Harness::itemTitles(profiles), QStringList({"Default", "*Studio", "-", "Save Current as...",
                                                          "Remove Current", "-", "Automatic Switching: On"}));

    // The window follows the active profile: a value set in Studio shows only there.
    h.store.setSettingValue(SettingsStore::inputKey(InputType::Pen, InputSetting::MouseAction), 3);
    Harness::choose(profiles, "Default");
    EXPECT_EQ(h.popup("penMouseAction")->currentText(), "Left");
    Harness::choose(profiles, "Studio");
    EXPECT_EQ(h.popup("penMouseAction")->currentText(), "Middle");

    h.alerts.answer("Cancel");
    Harness::choose(profiles, "Remove Current");
    EXPECT_EQ(h.alerts.shown.last().informativeText, "Remove \"Studio\" and switch back to Default?");
    EXPECT_EQ(h.store.profileNames(), QStringList({"Default", "Studio"}));
    EXPECT_EQ(Harness::itemTitles(profiles).filter("*"), QStringList({"*Studio"}));

    h.alerts.answer("Remove");
    Harness::choose(profiles, "Remove Current");
    EXPECT_EQ(h.store.profileNames(), QStringList({"Default"}));
    EXPECT_EQ(Harness::itemTitles(profiles).first(), "*Default");

    // A profile may be named like a command; choosing it applies it.
    h.alerts.answer("Save", "__remove");
    Harness::choose(profiles, "Save Current as...");
    Harness::choose(profiles, "Default");
    const int alertsBefore = h.alerts.shown.size();
    Harness::choose(profiles, "__remove");
    EXPECT_EQ(h.store.activeProfileName(), "__remove");
    EXPECT_EQ(h.alerts.shown.size(), alertsBefore);

    const int before = changes.count;
    Harness::choose(profiles, "Automatic Switching: On");
    EXPECT_FALSE(h.store.automaticProfileSwitching());
    EXPECT_EQ(changes.count, before + 1);
    EXPECT_EQ(Harness::itemTitles(profiles).last(), "Automatic Switching: Off");
    EXPECT_EQ(profiles->itemData(profiles->count() - 1, Qt::CheckStateRole), Qt::Unchecked);
}

class SettingsWindowInputRow : public ::testing::TestWithParam<InputType> {
protected:
    Harness h;
};

TEST_P(SettingsWindowInputRow, MouseKeyboardAndInertiaWriteThroughTheActiveProfile)
{
    const InputType input = GetParam();
    const QString name = SettingsStore::inputTypeName(input);
    h.store.saveCurrentValuesAsProfileNamed(QStringLiteral("Work"));
    QComboBox* mouse = h.popup(name + "MouseAction");
    QComboBox* keyboard = h.popup(name + "ModifierAction");
    QCheckBox* inertia = h.find<QCheckBox>(name);

    QStringList mouseTitles = {"None", "Left", "Right", "Middle", "Scroll"};
    if (input == InputType::Finger2)
        mouseTitles << "Scroll and pinch";
    QStringList shown = Harness::itemTitles(mouse);
    shown.replaceInStrings("*", "");
    EXPECT_EQ(shown, mouseTitles);

    Harness::choose(mouse, "Scroll");
    EXPECT_EQ(h.store.mouseActionForInput(input), MouseAction::Scroll);
    EXPECT_TRUE(inertia->isEnabled());
    EXPECT_TRUE(inertia->isChecked());
    EXPECT_TRUE(h.store.inertiaEnabledForInput(input));
    inertia->click();
    EXPECT_FALSE(h.store.inertiaEnabledForInput(input));
    Harness::choose(mouse, "Left");
    EXPECT_FALSE(inertia->isEnabled());
    EXPECT_FALSE(inertia->isChecked());
    EXPECT_FALSE(h.store.inertiaEnabledForInput(input));

    Harness::choose(keyboard, "Option");
    EXPECT_EQ(h.store.keyboardActionForInput(input), KeyboardAction::Option);

    // Everything went into Work; Default kept its registered values.
    const QJsonObject work = h.store.allProfiles().value("Work").toObject();
    EXPECT_EQ(work.value(name + "MouseAction").toInt(), 1);
    EXPECT_EQ(work.value(name + "ModifierAction").toInt(), 3);
    EXPECT_FALSE(h.defaults.hasStoredValue(QString(name + "MouseAction")));
    EXPECT_FALSE(h.defaults.hasStoredValue(QString(name + "ModifierAction")));
}

INSTANTIATE_TEST_SUITE_P(EveryInput, SettingsWindowInputRow, ::testing::ValuesIn(SettingsStore::inputTypes()),
                         [](const auto& info) { return SettingsStore::inputTypeName(info.param).toStdString(); });

TEST_F(SettingsWindow, ActionsOutOfRangeShowAsUnknownAndAreNotRewritten)
{
    h.store.setSettingValue(QStringLiteral("finger3MouseAction"), 9);
    h.store.setSettingValue(QStringLiteral("eraserModifierAction"), -2);
    h.store.setSettingValue(SettingsKey::EventBackend, QStringLiteral("wayland"));
    h.store.setSettingValue(SettingsKey::ScrollScale, 25.0);
    h.window().showWindow();
    EXPECT_EQ(Harness::itemTitles(h.popup("finger3MouseAction")).last(), "*[Unknown (9)]");
    EXPECT_EQ(Harness::itemTitles(h.popup("eraserModifierAction")).last(), "*[Unknown (-2)]");
    EXPECT_EQ(Harness::itemTitles(h.popup(SettingsKey::EventBackend)).last(), "*[Unknown (wayland)]");
    EXPECT_DOUBLE_EQ(h.find<QDoubleSpinBox>(SettingsKey::ScrollScale)->value(), 25.0);
    EXPECT_FALSE(h.find<QCheckBox>("finger3")->isEnabled());

    h.window().buildContent();
    EXPECT_EQ(h.defaults.storedValue(u"finger3MouseAction").toInt(), 9);
    EXPECT_EQ(h.defaults.storedValue(u"eraserModifierAction").toInt(), -2);
    EXPECT_EQ(h.defaults.storedValue(u"eventBackend").toString(), "wayland");
    EXPECT_EQ(h.defaults.storedValue(u"scrollScale").toDouble(), 25.0);
}

TEST_F(SettingsWindow, KeyComboIsRecordedOrCancelled)
{
    h.store.setSettingValue(QStringLiteral("penModifierAction"), 1);
    h.window().showWindow();
    QComboBox* pen = h.popup("penModifierAction");

    Harness::choose(pen, "Key combo...");
    ASSERT_TRUE(h.controller->comboRecorder());
    // Nothing is stored while the recorder is open.
    EXPECT_EQ(h.store.keyboardActionForInput(InputType::Pen), KeyboardAction::Shift);
    QTest::mouseClick(h.controller->comboRecorder()->window()->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_FALSE(h.controller->comboRecorder());
    EXPECT_EQ(pen->currentText(), "Shift");
    EXPECT_EQ(h.store.keyboardActionForInput(InputType::Pen), KeyboardAction::Shift);
    EXPECT_FALSE(h.defaults.hasStoredValue(u"penKeyComboLabel"));

    Harness::choose(pen, "Key combo...");
    QTest::keyClick(h.controller->comboRecorder()->captureView(), Qt::Key_4, Qt::ShiftModifier | Qt::MetaModifier);
    QCoreApplication::processEvents();
    EXPECT_FALSE(h.controller->comboRecorder());
    EXPECT_EQ(h.store.keyboardActionForInput(InputType::Pen), KeyboardAction::KeyCombo);
    EXPECT_EQ(h.store.keyComboKeyCodeForInput(InputType::Pen), 21);
    EXPECT_EQ(h.store.keyComboFlagsForInput(InputType::Pen), 0x120000u);
    EXPECT_EQ(h.store.keyComboLabelForInput(InputType::Pen), "Shift+Cmd+4");
    EXPECT_EQ(Harness::itemTitles(pen).last(), "*Shift+Cmd+4");
    // The other inputs still offer an empty combo.
    EXPECT_EQ(Harness::itemTitles(h.popup("finger1ModifierAction")).last(), "Key combo...");
}

TEST_F(SettingsWindow, IndicatorsStartAtLoginAndAdvancedValuesAreWrittenWithTheirNotifications)
{
    h.window().showWindow();
    NotificationCount indicators(h.center, VTNotification::TouchIndicatorsSettingDidChange);
    NotificationCount profiles(h.center, VTNotification::SettingsProfileDidChange);

    h.find<QCheckBox>(SettingsKey::ShowTouchIndicators)->click();
    EXPECT_TRUE(h.store.showTouchIndicators());
    EXPECT_EQ(indicators.count, 1);
    EXPECT_EQ(indicators.sender, h.controller.get());

    QCheckBox* login = h.find<QCheckBox>("startAtLogin");
    login->click();
    EXPECT_TRUE(h.login.enabled);
    h.login.failure = VTError::velotap(1, QStringLiteral("Could not write the autostart entry"));
    login->click();
    EXPECT_EQ(h.alerts.shown.last().informativeText, "Could not write the autostart entry");
    EXPECT_TRUE(login->isChecked()); // shows what is, not what was asked

    // Tuning values go through the active profile; the globals do not.
    h.store.saveCurrentValuesAsProfileNamed(QStringLiteral("Work"));
    QDoubleSpinBox* delay = h.find<QDoubleSpinBox>(SettingsKey::TouchDelay);
    delay->setValue(0.25);
    EXPECT_DOUBLE_EQ(h.store.touchDelay(), 0.25);
    EXPECT_DOUBLE_EQ(h.store.allProfiles().value("Work").toObject().value("touchDelay").toDouble(), 0.25);
    EXPECT_FALSE(h.defaults.hasStoredValue(u"touchDelay"));
    h.find<QCheckBox>(SettingsKey::NaturalScroll)->click();
    EXPECT_FALSE(h.defaults.storedValue(u"naturalScroll").toBool());
    Harness::choose(h.popup(SettingsKey::EventBackend), "uinput (X11 and Wayland)");
    EXPECT_EQ(h.defaults.storedValue(u"eventBackend").toString(), "uinput");
    h.find<QCheckBox>(SettingsKey::GrabKernelTouchInput)->click();
    EXPECT_FALSE(h.defaults.storedValue(u"grabKernelTouchInput").toBool());
    EXPECT_EQ(indicators.count, 1);
    EXPECT_EQ(profiles.count, 1); // the save only
}

TEST_F(SettingsWindow, EditsBySomeoneElseShowAtOnceAndWriteFailuresAreShown)
{
    h.window().showWindow();
    UserDefaults other(h.dir.path());
    other.setValue(QStringLiteral("finger1MouseAction"), 3);
    h.defaults.synchronize();
    EXPECT_EQ(h.popup("finger1MouseAction")->currentText(), "Middle");

    QLabel* error = h.find<QLabel>("writeError");
    EXPECT_FALSE(error->isVisible());
    // A file where the settings folder should be: nothing can be written.
    QTemporaryDir blocked;
    QFile(blocked.filePath("file")).open(QIODevice::WriteOnly);
    UserDefaults unwritable(blocked.filePath("file/velotap"));
    SettingsStore store(unwritable, h.center);
    store.registerDefaults();
    VTSettingsWindowController window({store, h.center, h.devices, h.displays, h.alerts, h.keys, h.login});
    window.showWindow();
    Harness::choose(window.window()->findChild<QComboBox*>("finger1MouseAction"), "Right");
    QLabel* line = window.window()->findChild<QLabel*>("writeError");
    EXPECT_TRUE(line->isVisible());
    EXPECT_TRUE(line->text().startsWith("Settings could not be saved: ")) << line->text().toStdString();
    EXPECT_EQ(store.mouseActionForInput(InputType::Finger1), MouseAction::Right);

    // A profile that cannot be saved says so too, instead of looking saved.
    line->hide();
    h.alerts.answer("Save", "Studio");
    Harness::choose(window.window()->findChild<QComboBox*>("profilePopup"), "Save Current as...");
    EXPECT_TRUE(line->isVisible());
}
