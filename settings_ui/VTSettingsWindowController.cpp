#include "settings_ui/VTSettingsWindowController.h"

#include "base/AlertPresenter.h"
#include "base/Notifications.h"
#include "keyboard/ScreenPlacement.h"
#include "settings_ui/AdvancedSettingsPanel.h"
#include "settings_ui/KeyComboLabel.h"
#include "settings_ui/LoginItem.h"
#include "settings_ui/PopupItems.h"
#include "settings_ui/VTKeyComboRecorderWindowController.h"
#include "touch/DeviceDiscovery.h"
#include "touch/DisplaySelection.h"
#include "touch/HidDeviceSource.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Profile pop-up commands; profile names are strings, so no name can pose as one.
enum class ProfileCommand : int { Save = 1, Remove = 2, ToggleAutomatic = 3 };

const QString kAuto = QStringLiteral("auto");
const QString kDisplayPrefix = QStringLiteral("display:");

QLabel* plainLabel(const QString& text)
{
    return new QLabel(text);
}

QLabel* sectionLabel(const QString& text)
{
    auto* label = new QLabel(text);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    return label;
}

QVariant tag(qint64 value)
{
    return QVariant::fromValue(value);
}

struct InputTitle {
    InputType input;
    const char* title;
};
constexpr InputTitle kInputTitles[] = {
    {InputType::Finger1, "Finger 1 point"}, {InputType::Finger2, "Finger 2 point"},
    {InputType::Finger3, "Finger 3 point"}, {InputType::Pen, "Pen"}, {InputType::Eraser, "Eraser"},
};

} // namespace

VTSettingsWindowController::VTSettingsWindowController(const Environment& environment)
    : m_env(environment)
{
    buildWindow();
    buildContent();
    // The layout gives the window its size only when asked; centring needs it.
    m_window->adjustSize();
    centerWindowOnLargestScreen(m_window.get());

    m_profileObserver = ScopedObserver(m_env.notifications, VTNotification::SettingsProfileDidChange,
                                       [this](const Notification&) { buildContent(); });
    m_externalChangeObserver = m_env.settings.defaults().addExternalChangeObserver([this] { buildContent(); });
    m_devicesObserver = m_env.devices.addDevicesChangedObserver([this] { devicesChanged(); });
    auto* app = qGuiApp;
    connect(app, &QGuiApplication::screenAdded, this, &VTSettingsWindowController::displaysChanged);
    connect(app, &QGuiApplication::screenRemoved, this, &VTSettingsWindowController::displaysChanged);
    connect(app, &QGuiApplication::primaryScreenChanged, this, &VTSettingsWindowController::displaysChanged);
}

VTSettingsWindowController::~VTSettingsWindowController()
{
    m_env.devices.removeDevicesChangedObserver(m_devicesObserver);
    m_env.settings.defaults().removeExternalChangeObserver(m_externalChangeObserver);
}

void VTSettingsWindowController::showWindow()
{
    buildContent();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

// --- layout -----------------------------------------------------------------

void VTSettingsWindowController::buildWindow()
{
    m_window = std::make_unique<QWidget>();
    m_window->setObjectName(QStringLiteral("settingsWindow"));
    m_window->setWindowTitle(QStringLiteral("Velotap Settings"));

    _devicePopup = new QComboBox;
    _devicePopup->setObjectName(QStringLiteral("devicePopup"));
    connect(_devicePopup, &QComboBox::activated, this, &VTSettingsWindowController::deviceSelectionChanged);
    _displayPopup = new QComboBox;
    _displayPopup->setObjectName(QStringLiteral("displayPopup"));
    connect(_displayPopup, &QComboBox::activated, this, &VTSettingsWindowController::displaySelectionChanged);
    _profilePopup = new QComboBox;
    _profilePopup->setObjectName(QStringLiteral("profilePopup"));
    connect(_profilePopup, &QComboBox::activated, this, &VTSettingsWindowController::profileSelectionChanged);
    m_touchIndicators = new QCheckBox(QStringLiteral("Show touch indicators"));
    m_touchIndicators->setObjectName(SettingsKey::ShowTouchIndicators);
    connect(m_touchIndicators, &QCheckBox::clicked, this, &VTSettingsWindowController::touchIndicatorsChanged);
    m_startAtLogin = new QCheckBox(QStringLiteral("Start at login"));
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    connect(m_startAtLogin, &QCheckBox::clicked, this, &VTSettingsWindowController::startAtLoginChanged);

    auto* top = new QGridLayout;
    top->setColumnMinimumWidth(0, 120);
    top->setColumnStretch(1, 1);
    const std::pair<const char*, QWidget*> rows[] = {
        {"Device", _devicePopup}, {"Display", _displayPopup}, {"Profile", _profilePopup},
        {"Visual feedback", m_touchIndicators}, {"Startup", m_startAtLogin},
    };
    for (int row = 0; row < int(std::size(rows)); ++row) {
        top->addWidget(plainLabel(QString::fromLatin1(rows[row].first)), row, 0);
        top->addWidget(rows[row].second, row, 1);
    }

    m_advanced = new AdvancedSettingsPanel;
    m_advanced->hide();
    connect(m_advanced, &AdvancedSettingsPanel::edited, this, &VTSettingsWindowController::store);
    auto* disclosure = new QToolButton;
    disclosure->setObjectName(QStringLiteral("advancedDisclosure"));
    disclosure->setText(QStringLiteral("Advanced"));
    disclosure->setCheckable(true);
    disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure->setArrowType(Qt::RightArrow);
    disclosure->setAutoRaise(true);
    connect(disclosure, &QToolButton::toggled, this, [this, disclosure](bool open) {
        disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        m_advanced->setVisible(open);
    });

    m_writeError = new QLabel;
    m_writeError->setObjectName(QStringLiteral("writeError"));
    m_writeError->setWordWrap(true);
    m_writeError->hide();

    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(24, 20, 24, 20);
    // Fixed like a dialog: the window always fits its content, also when
    // the advanced part opens.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addWidget(buildInputGrid());
    layout->addSpacing(8);
    layout->addWidget(disclosure, 0, Qt::AlignLeft);
    layout->addWidget(m_advanced);
    layout->addWidget(m_writeError);
}

QWidget* VTSettingsWindowController::buildInputGrid()
{
    auto* box = new QWidget;
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setColumnMinimumWidth(0, 120);
    grid->addWidget(sectionLabel(QStringLiteral("Input settings")), 0, 0);
    grid->addWidget(plainLabel(QStringLiteral("Mouse")), 0, 1);
    grid->addWidget(plainLabel(QStringLiteral("Keyboard")), 0, 2);
    grid->addWidget(plainLabel(QStringLiteral("Inertia")), 0, 3, Qt::AlignHCenter);

    const QString keyboardHelp = QStringLiteral(
        "Shift, Control, Option (Alt) and Command (the Super or logo key) are held during the touch; "
        "the other actions are sent once when the touch begins.");
    int row = 1;
    for (const InputTitle& entry : kInputTitles) {
        const InputType input = entry.input;
        InputRow& controls = m_rows[std::size_t(input)];
        controls.mouse = new QComboBox;
        controls.mouse->setObjectName(SettingsStore::inputKey(input, InputSetting::MouseAction));
        connect(controls.mouse, &QComboBox::activated, this, [this, input] { mouseActionChanged(input); });
        controls.keyboard = new QComboBox;
        controls.keyboard->setObjectName(SettingsStore::inputKey(input, InputSetting::ModifierAction));
        controls.keyboard->setToolTip(keyboardHelp);
        connect(controls.keyboard, &QComboBox::activated, this, [this, input] { keyboardActionChanged(input); });
        controls.inertia = new QCheckBox;
        controls.inertia->setObjectName(SettingsStore::inputTypeName(input));
        controls.inertia->setToolTip(QStringLiteral("Scrolling glides on after the fingers lift"));
        connect(controls.inertia, &QCheckBox::clicked, this,
                [this, input](bool on) { inertiaEnabledChanged(input, on); });

        grid->addWidget(plainLabel(QString::fromLatin1(entry.title)), row, 0);
        grid->addWidget(controls.mouse, row, 1);
        grid->addWidget(controls.keyboard, row, 2);
        grid->addWidget(controls.inertia, row, 3, Qt::AlignHCenter);
        ++row;
    }
    return box;
}

// --- reading the store --------------------------------------------------------

void VTSettingsWindowController::buildContent()
{
    fillDevicePopup();
    fillDisplayPopup();
    fillProfilePopup();
    m_touchIndicators->setChecked(m_env.settings.showTouchIndicators());
    m_startAtLogin->setChecked(m_env.loginItem.isEnabled());
    for (InputType input : SettingsStore::inputTypes()) {
        fillMousePopup(input);
        fillKeyboardPopup(input);
        updateInertiaControlForInput(input);
    }
    m_advanced->refresh(m_env.settings);
}

void VTSettingsWindowController::devicesChanged()
{
    fillDevicePopup();
}

void VTSettingsWindowController::displaysChanged()
{
    fillDisplayPopup();
}

void VTSettingsWindowController::fillDevicePopup()
{
    QComboBox* popup = _devicePopup;
    popup->clear();
    popup::addItem(popup, QStringLiteral("Auto"), kAuto);
    const std::vector<DeviceCatalogueEntry> entries = deviceCatalogue(m_env.devices.devices());
    if (!entries.empty())
        popup::addSeparator(popup);
    for (const DeviceCatalogueEntry& entry : entries)
        popup::addItem(popup, entry.supported ? entry.title : entry.title + QStringLiteral(" - possible"),
                       entry.signature);
    const QString selection = normalizedDeviceSelection(m_env.settings.deviceSelection());
    // Kept, not lost: the device may come back.
    popup::selectOrShowStored(popup, selection, QStringLiteral("Selected device not connected"));
}

void VTSettingsWindowController::fillDisplayPopup()
{
    QComboBox* popup = _displayPopup;
    popup->clear();
    const std::vector<DisplayServices::DisplayID> displays = DisplaySelection::sortedDisplayList(m_env.displays);
    popup::addItem(popup, QStringLiteral("Auto"), kAuto);
    popup::addItem(popup, QStringLiteral("Primary display"), QStringLiteral("primary"));
    if (displays.size() >= 2)
        popup::addItem(popup, QStringLiteral("Secondary display"), QStringLiteral("secondary"));

    QString selection = m_env.settings.displaySelection();
    if (selection.isEmpty())
        selection = kAuto;
    // A choice made elsewhere (a monitor by its ID, or a display that is
    // gone) is shown as what it is and kept until another is picked.
    QString title;
    bool connected = false;
    if (selection == QLatin1String("secondary")) {
        title = QStringLiteral("Selected display not connected");
    } else if (selection.startsWith(kDisplayPrefix)) {
        bool ok = false;
        const uint id = selection.mid(kDisplayPrefix.size()).toUInt(&ok);
        connected = ok && std::find(displays.begin(), displays.end(), id) != displays.end();
        if (connected) {
            const QRect bounds = m_env.displays.displayBounds(id).toRect();
            title = QStringLiteral("Display at %1,%2 (%3×%4)")
                        .arg(bounds.x()).arg(bounds.y()).arg(bounds.width()).arg(bounds.height());
        } else {
            title = QStringLiteral("Selected display not connected");
        }
    }
    popup::selectOrShowStored(popup, selection, title, connected);
}

void VTSettingsWindowController::fillProfilePopup()
{
    QComboBox* popup = _profilePopup;
    popup->clear();
    const QString active = m_env.settings.activeProfileName();
    for (const QString& name : m_env.settings.profileNames())
        popup::addItem(popup, name, name);
    popup::selectValue(popup, active);
    popup::addSeparator(popup);
    popup::addItem(popup, QStringLiteral("Save Current as..."), int(ProfileCommand::Save));
    popup::addItem(popup, QStringLiteral("Remove Current"), int(ProfileCommand::Remove), active != DefaultProfileName);
    popup::addSeparator(popup);
    const bool automatic = m_env.settings.automaticProfileSwitching();
    popup::addItem(popup,
                   QStringLiteral("Automatic Switching: %1").arg(automatic ? QStringLiteral("On") : QStringLiteral("Off")),
                   int(ProfileCommand::ToggleAutomatic));
    popup::setItemChecked(popup, popup->count() - 1, automatic);
}

void VTSettingsWindowController::fillMousePopup(InputType input)
{
    QComboBox* popup = m_rows[std::size_t(input)].mouse;
    popup->clear();
    const MouseAction last = input == InputType::Finger2 ? MouseAction::ScrollAndPinch : MouseAction::Scroll;
    for (qint64 value = 0; value <= qint64(last); ++value)
        popup::addItem(popup, SettingsStore::mouseActionTitle(MouseAction(value)), tag(value));
    popup::selectOrShowStored(popup, tag(qint64(m_env.settings.mouseActionForInput(input))));
}

void VTSettingsWindowController::fillKeyboardPopup(InputType input)
{
    QComboBox* popup = m_rows[std::size_t(input)].keyboard;
    popup->clear();
    using K = KeyboardAction;
    for (K action : {K::None, K::Shift, K::Control, K::Option, K::Command, K::Escape, K::MissionControl,
                     K::ShowKeyboard, K::Screenshot})
        popup::addItem(popup, SettingsStore::keyboardActionTitle(action), tag(qint64(action)));
    const QString label = m_env.settings.keyComboLabelForInput(input);
    popup::addItem(popup, label.isEmpty() ? SettingsStore::keyboardActionTitle(K::KeyCombo) : label,
                   tag(qint64(K::KeyCombo)));
    popup::selectOrShowStored(popup, tag(qint64(m_env.settings.keyboardActionForInput(input))));
}

void VTSettingsWindowController::updateInertiaControlForInput(InputType input)
{
    const MouseAction action = m_env.settings.mouseActionForInput(input);
    const bool scrolls = action == MouseAction::Scroll || action == MouseAction::ScrollAndPinch;
    QCheckBox* box = m_rows[std::size_t(input)].inertia;
    box->setEnabled(scrolls);
    box->setChecked(scrolls && m_env.settings.inertiaEnabledForInput(input));
}

// --- changes by the user ------------------------------------------------------

void VTSettingsWindowController::store(const QString& key, const QJsonValue& value)
{
    showWriteError(m_env.settings.setSettingValue(key, value));
}

void VTSettingsWindowController::showWriteError(const std::optional<VTError>& error)
{
    // The value is in force either way; the line says it will not outlive the session.
    m_writeError->setVisible(error.has_value());
    if (error)
        m_writeError->setText(QStringLiteral("Settings could not be saved: %1").arg(error->description));
}

void VTSettingsWindowController::deviceSelectionChanged()
{
    const QString value = _devicePopup->currentData().toString();
    store(SettingsKey::DeviceSelection, value.isEmpty() ? kAuto : value);
    m_env.notifications.post(VTNotification::DeviceSelectionDidChange, this);
    buildContent();
}

void VTSettingsWindowController::displaySelectionChanged()
{
    const QString value = _displayPopup->currentData().toString();
    store(SettingsKey::DisplaySelection, value.isEmpty() ? kAuto : value);
    m_env.notifications.post(VTNotification::DisplaySelectionDidChange, this);
    buildContent();
}

void VTSettingsWindowController::profileSelectionChanged()
{
    const QVariant value = _profilePopup->currentData();
    if (value.typeId() == QMetaType::Int) {
        switch (ProfileCommand(value.toInt())) {
        case ProfileCommand::Save:
            saveCurrentProfileAsNew();
            return;
        case ProfileCommand::Remove:
            removeCurrentProfile();
            return;
        case ProfileCommand::ToggleAutomatic:
            showWriteError(m_env.settings.setAutomaticProfileSwitching(!m_env.settings.automaticProfileSwitching()));
            buildContent();
            return;
        }
    }
    const QString name = value.toString();
    if (!name.isEmpty())
        showWriteError(m_env.settings.applyProfileNamed(name)); // the notification rebuilds
    else
        buildContent();
}

void VTSettingsWindowController::saveCurrentProfileAsNew()
{
    Alert alert;
    alert.message = QStringLiteral("Save Profile");
    alert.informativeText = QStringLiteral("Name this settings profile.");
    alert.buttons = {QStringLiteral("Save"), QStringLiteral("Cancel")};
    alert.hasTextField = true;
    const AlertResult result = m_env.alerts.runModal(alert);
    // A blank name or "Default" saves nothing, like a cancel.
    VTError error;
    if (result.button != 0 || !m_env.settings.saveCurrentValuesAsProfileNamed(result.text, &error)) {
        showWriteError(error.description.isEmpty() ? std::nullopt : std::optional<VTError>(error));
        buildContent();
    }
}

void VTSettingsWindowController::removeCurrentProfile()
{
    const QString active = m_env.settings.activeProfileName();
    if (active == DefaultProfileName) {
        buildContent();
        return;
    }
    Alert alert;
    alert.message = QStringLiteral("Remove Profile");
    alert.informativeText = QStringLiteral("Remove \"%1\" and switch back to Default?").arg(active);
    alert.buttons = {QStringLiteral("Remove"), QStringLiteral("Cancel")};
    VTError error;
    if (m_env.alerts.runModal(alert).button != 0 || !m_env.settings.removeActiveProfile(&error)) {
        showWriteError(error.description.isEmpty() ? std::nullopt : std::optional<VTError>(error));
        buildContent();
    }
}

void VTSettingsWindowController::touchIndicatorsChanged(bool on)
{
    store(SettingsKey::ShowTouchIndicators, on);
    m_env.notifications.post(VTNotification::TouchIndicatorsSettingDidChange, this);
}

void VTSettingsWindowController::startAtLoginChanged(bool on)
{
    if (const std::optional<VTError> error = m_env.loginItem.setEnabled(on)) {
        Alert alert;
        alert.message = on ? QStringLiteral("Velotap could not be set to start at login")
                          : QStringLiteral("Velotap could not be kept from starting at login");
        alert.informativeText = error->description;
        alert.buttons = {QStringLiteral("OK")};
        m_env.alerts.runModal(alert);
    }
    m_startAtLogin->setChecked(m_env.loginItem.isEnabled());
}

void VTSettingsWindowController::mouseActionChanged(InputType input)
{
    const qint64 value = m_rows[std::size_t(input)].mouse->currentData().toLongLong();
    store(SettingsStore::inputKey(input, InputSetting::MouseAction), value);
    // Choosing a scroll action switches inertia on, anything else off.
    const bool scrolls = value == qint64(MouseAction::Scroll) || value == qint64(MouseAction::ScrollAndPinch);
    store(SettingsStore::inputKey(input, InputSetting::InertiaEnabled), scrolls);
    updateInertiaControlForInput(input);
}

void VTSettingsWindowController::keyboardActionChanged(InputType input)
{
    const qint64 value = m_rows[std::size_t(input)].keyboard->currentData().toLongLong();
    if (value == qint64(KeyboardAction::KeyCombo)) {
        recordKeyComboForInput(input); // nothing is stored until a combo is recorded
        return;
    }
    store(SettingsStore::inputKey(input, InputSetting::ModifierAction), value);
}

void VTSettingsWindowController::inertiaEnabledChanged(InputType input, bool on)
{
    store(SettingsStore::inputKey(input, InputSetting::InertiaEnabled), on);
}

void VTSettingsWindowController::recordKeyComboForInput(InputType input)
{
    if (_comboRecorder) {
        _comboRecorder->showWindow();
        return;
    }
    _comboRecorder = new VTKeyComboRecorderWindowController(
        m_env.keys,
        [this, input](bool cancelled, std::uint16_t keyCode, std::uint64_t flags, std::optional<QString> label) {
            keyComboRecorded(input, cancelled, keyCode, flags, label);
        },
        m_window.get());
    _comboRecorder->setParent(this);
    _comboRecorder->showWindow();
}

void VTSettingsWindowController::keyComboRecorded(InputType input, bool cancelled, std::uint16_t keyCode,
                                                  std::uint64_t flags, const std::optional<QString>& label)
{
    if (_comboRecorder) {
        _comboRecorder->deleteLater();
        _comboRecorder = nullptr;
    }
    if (cancelled) {
        // Back to the action in force before "Key combo..." was picked.
        fillKeyboardPopup(input);
        return;
    }
    store(SettingsStore::inputKey(input, InputSetting::ModifierAction), qint64(KeyboardAction::KeyCombo));
    store(SettingsStore::inputKey(input, InputSetting::KeyComboKeyCode), qint64(keyCode));
    store(SettingsStore::inputKey(input, InputSetting::KeyComboFlags), qint64(flags));
    store(SettingsStore::inputKey(input, InputSetting::KeyComboLabel),
          label && !label->isEmpty() ? *label : keyComboLabel(keyCode, flags));
    buildContent();
}
