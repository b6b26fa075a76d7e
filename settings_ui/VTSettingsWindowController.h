#pragma once
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"
#include "settings_ui/VTKeyComboRecorderWindowController.h"
#include "touch/HidDeviceSource.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>

#include <array>
#include <memory>

class AdvancedSettingsPanel;
class AlertPresenter;
class DisplayServices;
class KeyPressTranslator;
class LoginItem;
class QCheckBox;
class QComboBox;
class QLabel;
class QWidget;

// The settings window: touch device, target display, profiles, touch
// indicators, every input's mouse and keyboard action with its key combo
// and inertia, start at login and the advanced tuning values. Every change
// is written at once through the settings store (profile keys through the
// active profile) and takes effect on the next touch; there is no apply.
// The controls are read again from the store whenever the profile or the
// stored values change, also by someone else. Main thread only.
class VTSettingsWindowController final : public QObject {
    Q_OBJECT
public:
    struct Environment {
        SettingsStore& settings;
        NotificationCenter& notifications;
        // Watched, so the device list follows plugging and unplugging.
        HidDeviceSource& devices;
        // Read again when Qt sees the screens change; call displaysChanged()
        // for changes only the platform sees.
        const DisplayServices& displays;
        AlertPresenter& alerts;
        const KeyPressTranslator& keys;
        LoginItem& loginItem;
    };

    explicit VTSettingsWindowController(const Environment& environment);
    ~VTSettingsWindowController() override;

    QWidget* window() const { return m_window.get(); }
    void showWindow();

    // Reads every control again from the store.
    void buildContent();
    // The attached devices or the monitors changed.
    void devicesChanged();
    void displaysChanged();

    // The open key combo recorder; null when none is open.
    VTKeyComboRecorderWindowController* comboRecorder() const { return _comboRecorder; }

private:
    struct InputRow {
        QComboBox* mouse = nullptr;
        QComboBox* keyboard = nullptr;
        QCheckBox* inertia = nullptr;
    };

    void buildWindow();
    QWidget* buildInputGrid();
    void fillDevicePopup();
    void fillDisplayPopup();
    void fillProfilePopup();
    void fillMousePopup(InputType input);
    void fillKeyboardPopup(InputType input);
    void updateInertiaControlForInput(InputType input);

    void deviceSelectionChanged();
    void displaySelectionChanged();
    void profileSelectionChanged();
    void touchIndicatorsChanged(bool on);
    void startAtLoginChanged(bool on);
    void mouseActionChanged(InputType input);
    void keyboardActionChanged(InputType input);
    void inertiaEnabledChanged(InputType input, bool on);
    void recordKeyComboForInput(InputType input);
    void keyComboRecorded(InputType input, bool cancelled, std::uint16_t keyCode, std::uint64_t flags,
                          const std::optional<QString>& label);
    void saveCurrentProfileAsNew();
    void removeCurrentProfile();

    // Writes one value; a write that does not reach the disk shows why.
    void store(const QString& key, const QJsonValue& value);
    void showWriteError(const std::optional<VTError>& error);

    Environment m_env;
    std::unique_ptr<QWidget> m_window;
    QComboBox* _devicePopup = nullptr;
    QComboBox* _displayPopup = nullptr;
    QComboBox* _profilePopup = nullptr;
    QCheckBox* m_touchIndicators = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    std::array<InputRow, InputTypeCount> m_rows;
    AdvancedSettingsPanel* m_advanced = nullptr;
    QLabel* m_writeError = nullptr;
    QPointer<VTKeyComboRecorderWindowController> _comboRecorder;
    ScopedObserver m_profileObserver;
    UserDefaults::ObserverToken m_externalChangeObserver = 0;
    HidDeviceSource::ObserverToken m_devicesObserver = 0;
};
