#pragma once
#include "base/UserDefaults.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

class NotificationCenter;

// What an input does with the pointer ("<input>MouseAction").
enum class MouseAction : std::int64_t {
    None = 0,
    Left = 1,
    Right = 2,
    Middle = 3,
    Scroll = 4,
    ScrollAndPinch = 5, // offered for finger2 only
};

// The modifier held or the action fired by an input ("<input>ModifierAction").
enum class KeyboardAction : std::int64_t {
    None = 0,
    Shift = 1,
    Control = 2,
    Option = 3,
    Command = 4,
    Escape = 5,
    MissionControl = 6,
    ShowKeyboard = 7,
    KeyCombo = 8,
    Screenshot = 9,
};

// The five configurable inputs, in their fixed order.
enum class InputType : int {
    Finger1 = 0,
    Finger2 = 1,
    Finger3 = 2,
    Pen = 3,
    Eraser = 4,
};
inline constexpr int InputTypeCount = 5;

// The per-input key suffixes, in profile-key order.
enum class InputSetting : int {
    MouseAction = 0,
    ModifierAction = 1,
    InertiaEnabled = 2,
    KeyComboKeyCode = 3,
    KeyComboFlags = 4,
    KeyComboLabel = 5,
};
inline constexpr int InputSettingCount = 6;

// Event modifier flag masks that KeyboardAction Shift..Command stand for.
namespace ModifierFlag {
inline constexpr std::uint64_t Shift = 0x20000;
inline constexpr std::uint64_t Control = 0x40000;
inline constexpr std::uint64_t Option = 0x80000;
inline constexpr std::uint64_t Command = 0x100000;
} // namespace ModifierFlag

// Every global defaults key.
namespace SettingsKey {
inline const QString ScrollScale = QStringLiteral("scrollScale");
inline const QString InertiaDecay = QStringLiteral("inertiaDecay");
inline const QString InertiaBoost = QStringLiteral("inertiaBoost");
inline const QString NaturalScroll = QStringLiteral("naturalScroll");
inline const QString TouchDelay = QStringLiteral("touchDelay");
inline const QString ScrollReleaseDelay = QStringLiteral("scrollReleaseDelay");
inline const QString HoldRepeatInterval = QStringLiteral("holdRepeatInterval");
inline const QString HideCursor = QStringLiteral("hideCursor");
inline const QString ApiBaseURL = QStringLiteral("apiBaseURL");
inline const QString DeviceSelection = QStringLiteral("deviceSelection");
inline const QString DisplaySelection = QStringLiteral("displaySelection");
inline const QString SettingsProfiles = QStringLiteral("settingsProfiles");
inline const QString ActiveSettingsProfile = QStringLiteral("activeSettingsProfile");
inline const QString AutomaticProfileSwitching = QStringLiteral("automaticProfileSwitching");
inline const QString WelcomeAcceptedVersion = QStringLiteral("welcomeAcceptedVersion");
inline const QString InitialCompatibilityReportSent = QStringLiteral("initialCompatibilityReportSent");
inline const QString PermissionsCompatibilityCheckPending = QStringLiteral("permissionsCompatibilityCheckPending");
inline const QString KeyboardPosition = QStringLiteral("keyboardPosition");
inline const QString ShowTouchIndicators = QStringLiteral("showTouchIndicators");
// Whether the compatibility windows may send their anonymous reports.
inline const QString SendCompatibilityReports = QStringLiteral("sendCompatibilityReports");
// What the MissionControl and Screenshot keyboard actions do on this desktop:
// "key:<name or code>", "run:<program> <arguments>" or "none".
inline const QString MissionControlAction = QStringLiteral("missionControlAction");
inline const QString ScreenshotAction = QStringLiteral("screenshotAction");
// How synthetic input reaches the desktop: "auto", "xtest" or "uinput".
inline const QString EventBackend = QStringLiteral("eventBackend");
// Whether the kernel's own input nodes of the display are grabbed while touch runs.
inline const QString GrabKernelTouchInput = QStringLiteral("grabKernelTouchInput");
// Not registered; created by their owners on first use.
inline const QString InstallID = QStringLiteral("installID");
inline const QString ShownPolicyMessageIDs = QStringLiteral("shownPolicyMessageIDs");
inline const QString LastLaunchedVersion = QStringLiteral("lastLaunchedVersion");
inline const QString LastLaunchedBuild = QStringLiteral("lastLaunchedBuild");
} // namespace SettingsKey

// The placeholder service address until the maker's own is known: a domain
// reserved for documentation, so nothing real is ever contacted by accident.
inline const QString DefaultApiBaseURL = QStringLiteral("https://api.example.com/api/v1");

// The name of the profile that keeps its values in the top-level keys.
inline const QString DefaultProfileName = QStringLiteral("Default");

// The application's settings over a defaults database: the registered
// defaults, the per-input keys, the built-in fallbacks and the rule that
// profile keys are read and written through the active profile.
//
// Reads are meant for every touch frame: they resolve through a cache that
// is rebuilt only when the database changed (its generation), so a read
// costs a few nanoseconds and never allocates, yet a change (ours or an
// edit picked up from disk) takes effect on the next read.
//
// Profile operations post "VTSettingsProfileDidChangeNotification" on the
// given centre; so does an edit by someone else (`velotap defaults`, a text
// editor) that changes the active profile, the profiles or the automatic
// switching flag, once the database has loaded it. Main thread only.
class SettingsStore {
public:
    explicit SettingsStore(UserDefaults& defaults);
    SettingsStore(UserDefaults& defaults, NotificationCenter& center);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The application's store: UserDefaults::standard() with the defaults
    // table registered and external edits watched, and the default
    // notification centre.
    static SettingsStore& standard();

    UserDefaults& defaults() const { return m_defaults; }

    // --- the tables ---------------------------------------------------
    // Registers the global defaults table on the database.
    void registerDefaults();
    static QJsonObject registeredDefaultsTable();

    static const std::array<InputType, InputTypeCount>& inputTypes();
    static const QStringList& inputTypeNames(); // "finger1" ... "eraser"
    static const QString& inputTypeName(InputType input);

    // "<input><Suffix>", e.g. finger2MouseAction; built once, never allocates.
    static const QString& inputKey(InputType input, InputSetting setting);

    static const QStringList& profileKeys(); // the 36 keys a profile holds
    static bool isProfileKey(QStringView key);
    static const QJsonObject& builtinDefaults(); // 36 fallback values

    // Menu titles ("Scroll and pinch", "Esc", "Key combo..."); "" when unknown.
    static QString mouseActionTitle(MouseAction action);
    static QString keyboardActionTitle(KeyboardAction action);

    // --- reads through the active profile ------------------------------
    QJsonObject allProfiles() const;
    QString activeProfileName() const;

    // Profile keys resolve through the active profile, then the built-in
    // table; every other key is global and reads the defaults directly.
    // Undefined when nothing holds the key.
    QJsonValue settingValue(QStringView key) const;
    double settingDouble(QStringView key) const;
    qint64 settingInteger(QStringView key) const;
    bool settingBool(QStringView key) const;
    QString settingString(QStringView key) const;

    // Writes to exactly one place: for a profile key, the top-level key
    // while "Default" is active and the active profile's dictionary
    // otherwise; any other key always at the top level. Undefined or null
    // removes the key.
    std::optional<VTError> setSettingValue(const QString& key, const QJsonValue& value);

    // --- accessors of the gesture engine and the keyboard --------------
    double scrollScale() const;
    double inertiaDecay() const;
    double inertiaBoost() const;
    double touchDelay() const;          // seconds
    double scrollReleaseDelay() const;  // seconds
    double holdRepeatInterval() const;  // seconds
    bool naturalScroll() const;         // global, never through a profile

    // A stored ScrollAndPinch on any input but finger2 reads as Scroll.
    // Values outside the enumeration come back as they are stored.
    MouseAction mouseActionForInput(InputType input) const;
    KeyboardAction keyboardActionForInput(InputType input) const;
    bool inertiaEnabledForInput(InputType input) const;
    // Shift/Control/Option/Command actions give their flag mask, others 0.
    std::uint64_t modifierFlagsForInput(InputType input) const;
    // The recorded key combo; a key code outside 16 bits reads as 0 (none),
    // negative flags as 0.
    std::uint16_t keyComboKeyCodeForInput(InputType input) const;
    std::uint64_t keyComboFlagsForInput(InputType input) const;
    QString keyComboLabelForInput(InputType input) const;

    // --- global settings (never through a profile) ---------------------
    bool hideCursor() const;
    bool showTouchIndicators() const;
    bool sendCompatibilityReports() const;
    QString apiBaseURL() const;
    QString deviceSelection() const;
    QString displaySelection() const;
    QString keyboardPosition() const;

    // --- profiles -----------------------------------------------------
    // "Default" first, then the others in case-insensitive, locale-aware order.
    QStringList profileNames() const;
    // Without surrounding white space and newlines; none when empty.
    static std::optional<QString> trimmedProfileName(const QString& name);

    // Every change below takes effect at once and posts the change
    // notification; when the file cannot be saved the change lasts only
    // while the program runs, and the error says so.

    // Activates the named profile ("Default" when it does not exist), also
    // when it was active already.
    std::optional<VTError> applyProfileNamed(const QString& name);

    // Saves the values in force (all 36 keys, fallbacks included) as a
    // profile of that name, replacing one of the same name, and activates
    // it. A blank name or "Default" saves nothing and returns false; so does
    // a save that failed, with *error set.
    bool saveCurrentValuesAsProfileNamed(const QString& name, VTError* error = nullptr);

    // Deletes the active profile and activates "Default"; false (nothing
    // done) when "Default" is active, or when the save failed (*error set).
    bool removeActiveProfile(VTError* error = nullptr);

    bool automaticProfileSwitching() const;
    std::optional<VTError> setAutomaticProfileSwitching(bool on);

private:
    static constexpr int ProfileKeyCount = 6 + InputTypeCount * InputSettingCount;

    struct Resolved {
        QJsonValue value;
        double number = 0;
        qint64 integer = 0;
        bool boolean = false;
    };

    void refreshCache() const;
    void rebuildCache() const;
    const Resolved& resolved(int profileKeyIndex) const;
    const Resolved& resolvedInput(InputType input, InputSetting setting) const;
    static int profileKeyIndex(QStringView key);
    QJsonValue storedOrRegistered(const QJsonObject& stored, const QString& key) const;
    QJsonObject storedProfiles(const QJsonObject& stored) const;
    void postProfileDidChange();
    QJsonObject profileState() const;
    void announceExternalProfileChange();

    UserDefaults& m_defaults;
    NotificationCenter& m_center;
    UserDefaults::ObserverToken m_externalChangeObserver = 0;
    QJsonObject m_announcedProfileState;

    mutable quint64 m_cacheGeneration = 0;
    mutable QString m_activeProfile;
    mutable bool m_naturalScroll = false;
    mutable std::array<Resolved, ProfileKeyCount> m_cache;
};
