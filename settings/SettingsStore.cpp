#include "settings/SettingsStore.h"

#include "base/NotificationCenter.h"
#include "base/Notifications.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

constexpr int GlobalProfileKeyCount = 6;

const std::array<QString, InputSettingCount>& suffixes()
{
    static const std::array<QString, InputSettingCount> table = {
        QStringLiteral("MouseAction"),     QStringLiteral("ModifierAction"), QStringLiteral("InertiaEnabled"),
        QStringLiteral("KeyComboKeyCode"), QStringLiteral("KeyComboFlags"),  QStringLiteral("KeyComboLabel"),
    };
    return table;
}

// Index of a per-input key in the profile key list.
constexpr int inputKeyIndex(InputType input, InputSetting setting)
{
    return GlobalProfileKeyCount + static_cast<int>(input) * InputSettingCount + static_cast<int>(setting);
}

const std::array<QString, InputTypeCount * InputSettingCount>& composedInputKeys()
{
    static const auto table = [] {
        std::array<QString, InputTypeCount * InputSettingCount> keys;
        for (int input = 0; input < InputTypeCount; ++input) {
            for (int setting = 0; setting < InputSettingCount; ++setting) {
                keys[input * InputSettingCount + setting] =
                    SettingsStore::inputTypeNames().at(input) + suffixes()[setting];
            }
        }
        return keys;
    }();
    return table;
}

// Profile keys by hash, sorted, so a lookup by string view neither
// allocates nor scans all 36 keys.
struct KeyHash {
    size_t hash;
    int index;
};

const std::vector<KeyHash>& profileKeyHashes()
{
    static const auto table = [] {
        std::vector<KeyHash> hashes;
        const QStringList& keys = SettingsStore::profileKeys();
        for (int i = 0; i < keys.size(); ++i)
            hashes.push_back({qHash(QStringView(keys.at(i))), i});
        std::sort(hashes.begin(), hashes.end(), [](const KeyHash& a, const KeyHash& b) { return a.hash < b.hash; });
        return hashes;
    }();
    return table;
}

constexpr std::array<qint64, InputTypeCount> DefaultMouseActions = {1, 4, 3, 1, 2};

} // namespace

SettingsStore::SettingsStore(UserDefaults& defaults)
    : SettingsStore(defaults, NotificationCenter::defaultCenter())
{
}

SettingsStore::SettingsStore(UserDefaults& defaults, NotificationCenter& center)
    : m_defaults(defaults), m_center(center)
{
    m_announcedProfileState = profileState();
    m_externalChangeObserver = m_defaults.addExternalChangeObserver([this] { announceExternalProfileChange(); });
}

SettingsStore::~SettingsStore()
{
    m_defaults.removeExternalChangeObserver(m_externalChangeObserver);
}

SettingsStore& SettingsStore::standard()
{
    static SettingsStore& store = [] () -> SettingsStore& {
        static SettingsStore instance(UserDefaults::standard(), NotificationCenter::defaultCenter());
        // Registered before anything can read, and edits by `velotap defaults`
        // or an editor reach the running program.
        instance.registerDefaults();
        UserDefaults::standard().watchForExternalChanges();
        return instance;
    }();
    return store;
}

// --- tables ---------------------------------------------------------------

QJsonObject SettingsStore::registeredDefaultsTable()
{
    QJsonObject table{
        {SettingsKey::NaturalScroll, true},
        {SettingsKey::HideCursor, false},
        {SettingsKey::ApiBaseURL, DefaultApiBaseURL},
        {SettingsKey::DeviceSelection, QStringLiteral("auto")},
        {SettingsKey::DisplaySelection, QStringLiteral("auto")},
        {SettingsKey::SettingsProfiles, QJsonObject{{DefaultProfileName, QJsonObject()}}},
        {SettingsKey::ActiveSettingsProfile, DefaultProfileName},
        {SettingsKey::AutomaticProfileSwitching, true},
        {SettingsKey::WelcomeAcceptedVersion, QString()},
        {SettingsKey::InitialCompatibilityReportSent, false},
        {SettingsKey::PermissionsCompatibilityCheckPending, false},
        {SettingsKey::KeyboardPosition, QStringLiteral("bottomCenter")},
        {SettingsKey::ShowTouchIndicators, false},
        {SettingsKey::SendCompatibilityReports, true},
        {SettingsKey::MissionControlAction, QStringLiteral("key:Super")},
        {SettingsKey::ScreenshotAction, QStringLiteral("key:Print")},
        {SettingsKey::EventBackend, QStringLiteral("auto")},
        {SettingsKey::GrabKernelTouchInput, true},
    };
    // The profile keys register their built-in values, except the key combo
    // keys, which stay unregistered.
    const QJsonObject& builtin = builtinDefaults();
    for (const QString& key : profileKeys()) {
        if (!key.contains(QLatin1String("KeyCombo")))
            table.insert(key, builtin.value(key));
    }
    return table;
}

void SettingsStore::registerDefaults()
{
    m_defaults.registerDefaults(registeredDefaultsTable());
    m_announcedProfileState = profileState();
}

const std::array<InputType, InputTypeCount>& SettingsStore::inputTypes()
{
    static const std::array<InputType, InputTypeCount> types = {
        InputType::Finger1, InputType::Finger2, InputType::Finger3, InputType::Pen, InputType::Eraser,
    };
    return types;
}

const QStringList& SettingsStore::inputTypeNames()
{
    static const QStringList names = {
        QStringLiteral("finger1"), QStringLiteral("finger2"), QStringLiteral("finger3"),
        QStringLiteral("pen"), QStringLiteral("eraser"),
    };
    return names;
}

const QString& SettingsStore::inputTypeName(InputType input)
{
    return inputTypeNames().at(static_cast<int>(input));
}

const QString& SettingsStore::inputKey(InputType input, InputSetting setting)
{
    return composedInputKeys()[static_cast<int>(input) * InputSettingCount + static_cast<int>(setting)];
}

const QStringList& SettingsStore::profileKeys()
{
    static const QStringList keys = [] {
        QStringList list = {
            SettingsKey::ScrollScale,        SettingsKey::InertiaDecay,      SettingsKey::InertiaBoost,
            SettingsKey::TouchDelay,         SettingsKey::ScrollReleaseDelay, SettingsKey::HoldRepeatInterval,
        };
        for (const QString& key : composedInputKeys())
            list.append(key);
        return list;
    }();
    return keys;
}

bool SettingsStore::isProfileKey(QStringView key)
{
    return profileKeyIndex(key) >= 0;
}

int SettingsStore::profileKeyIndex(QStringView key)
{
    const std::vector<KeyHash>& hashes = profileKeyHashes();
    const size_t hash = qHash(key);
    auto it = std::lower_bound(hashes.begin(), hashes.end(), hash,
                               [](const KeyHash& entry, size_t value) { return entry.hash < value; });
    for (; it != hashes.end() && it->hash == hash; ++it) {
        if (profileKeys().at(it->index) == key)
            return it->index;
    }
    return -1;
}

const QJsonObject& SettingsStore::builtinDefaults()
{
    static const QJsonObject table = [] {
        QJsonObject values{
            {SettingsKey::ScrollScale, 1.5},       {SettingsKey::InertiaDecay, 0.95},
            {SettingsKey::InertiaBoost, 2.0},      {SettingsKey::TouchDelay, 0.1},
            {SettingsKey::ScrollReleaseDelay, 0.01}, {SettingsKey::HoldRepeatInterval, 0.1},
        };
        for (InputType input : inputTypes()) {
            values.insert(inputKey(input, InputSetting::MouseAction), DefaultMouseActions[static_cast<int>(input)]);
            values.insert(inputKey(input, InputSetting::ModifierAction), 0);
            values.insert(inputKey(input, InputSetting::InertiaEnabled), input == InputType::Finger2);
            values.insert(inputKey(input, InputSetting::KeyComboKeyCode), 0);
            values.insert(inputKey(input, InputSetting::KeyComboFlags), 0);
            values.insert(inputKey(input, InputSetting::KeyComboLabel), QString());
        }
        return values;
    }();
    return table;
}

QString SettingsStore::mouseActionTitle(MouseAction action)
{
    switch (action) {
    case MouseAction::None: return QStringLiteral("None");
    case MouseAction::Left: return QStringLiteral("Left");
    case MouseAction::Right: return QStringLiteral("Right");
    case MouseAction::Middle: return QStringLiteral("Middle");
    case MouseAction::Scroll: return QStringLiteral("Scroll");
    case MouseAction::ScrollAndPinch: return QStringLiteral("Scroll and pinch");
    }
    return QString();
}

QString SettingsStore::keyboardActionTitle(KeyboardAction action)
{
    switch (action) {
    case KeyboardAction::None: return QStringLiteral("None");
    case KeyboardAction::Shift: return QStringLiteral("Shift");
    case KeyboardAction::Control: return QStringLiteral("Control");
    case KeyboardAction::Option: return QStringLiteral("Option");
    case KeyboardAction::Command: return QStringLiteral("Command");
    case KeyboardAction::Escape: return QStringLiteral("Esc");
    case KeyboardAction::MissionControl: return QStringLiteral("Mission Control");
    case KeyboardAction::ShowKeyboard: return QStringLiteral("Show Keyboard");
    case KeyboardAction::KeyCombo: return QStringLiteral("Key combo...");
    case KeyboardAction::Screenshot: return QStringLiteral("Screenshot");
    }
    return QString();
}

// --- reads ----------------------------------------------------------------

// Every entry a dictionary (a malformed one reads as empty), "Default" always there.
static QJsonObject normalisedProfiles(const QJsonValue& value)
{
    QJsonObject profiles;
    const QJsonObject stored = value.toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it)
        profiles.insert(it.key(), it.value().isObject() ? it.value().toObject() : QJsonObject());
    if (!profiles.contains(DefaultProfileName))
        profiles.insert(DefaultProfileName, QJsonObject());
    return profiles;
}

QJsonObject SettingsStore::allProfiles() const
{
    return normalisedProfiles(m_defaults.value(SettingsKey::SettingsProfiles));
}

// A value of the freshly loaded stored values inside an update, or the
// registered default when the user never set it.
QJsonValue SettingsStore::storedOrRegistered(const QJsonObject& stored, const QString& key) const
{
    const QJsonValue value = stored.value(key);
    return value.isUndefined() || value.isNull() ? m_defaults.registeredDefaults().value(key) : value;
}

QJsonObject SettingsStore::storedProfiles(const QJsonObject& stored) const
{
    return normalisedProfiles(storedOrRegistered(stored, SettingsKey::SettingsProfiles));
}

QString SettingsStore::activeProfileName() const
{
    refreshCache();
    return m_activeProfile;
}

void SettingsStore::refreshCache() const
{
    if (m_cacheGeneration != m_defaults.generation())
        rebuildCache();
}

void SettingsStore::rebuildCache() const
{
    const QJsonObject profiles = allProfiles();
    const QString stored = m_defaults.value(SettingsKey::ActiveSettingsProfile).toString();
    m_activeProfile = !stored.isEmpty() && profiles.contains(stored) ? stored : DefaultProfileName;

    const bool isDefault = m_activeProfile == DefaultProfileName;
    const QJsonObject profile = isDefault ? QJsonObject() : profiles.value(m_activeProfile).toObject();
    const QJsonObject& builtin = builtinDefaults();
    const QStringList& keys = profileKeys();
    for (int i = 0; i < ProfileKeyCount; ++i) {
        const QString& key = keys.at(i);
        QJsonValue value = isDefault ? m_defaults.value(key) : profile.value(key);
        if (value.isUndefined() || value.isNull())
            value = builtin.value(key);
        Resolved& slot = m_cache[i];
        slot.value = value;
        slot.number = UserDefaults::toDouble(value);
        slot.integer = UserDefaults::toInteger(value);
        slot.boolean = UserDefaults::toBool(value);
    }
    m_naturalScroll = m_defaults.boolValue(SettingsKey::NaturalScroll);
    m_cacheGeneration = m_defaults.generation();
}

const SettingsStore::Resolved& SettingsStore::resolved(int index) const
{
    refreshCache();
    return m_cache[index];
}

const SettingsStore::Resolved& SettingsStore::resolvedInput(InputType input, InputSetting setting) const
{
    return resolved(inputKeyIndex(input, setting));
}

QJsonValue SettingsStore::settingValue(QStringView key) const
{
    const int index = profileKeyIndex(key);
    if (index >= 0)
        return resolved(index).value;
    // Global keys never go through a profile: a named profile holds only
    // profile keys, so going through it would hide the user's value.
    return m_defaults.value(key);
}

double SettingsStore::settingDouble(QStringView key) const
{
    const int index = profileKeyIndex(key);
    return index >= 0 ? resolved(index).number : UserDefaults::toDouble(settingValue(key));
}

qint64 SettingsStore::settingInteger(QStringView key) const
{
    const int index = profileKeyIndex(key);
    return index >= 0 ? resolved(index).integer : UserDefaults::toInteger(settingValue(key));
}

bool SettingsStore::settingBool(QStringView key) const
{
    const int index = profileKeyIndex(key);
    return index >= 0 ? resolved(index).boolean : UserDefaults::toBool(settingValue(key));
}

QString SettingsStore::settingString(QStringView key) const
{
    const QJsonValue value = settingValue(key);
    return value.isString() ? value.toString() : QString();
}

// --- writes ---------------------------------------------------------------

std::optional<VTError> SettingsStore::setSettingValue(const QString& key, const QJsonValue& value)
{
    const bool remove = value.isUndefined() || value.isNull();
    // The active profile is decided on the freshest file, inside the update,
    // so a profile switch made by someone else a moment ago is respected.
    const bool profileKey = isProfileKey(key);
    const std::optional<VTError> error = m_defaults.update([&](QJsonObject& stored) {
        QJsonObject profiles = storedProfiles(stored);
        const QString storedActive = storedOrRegistered(stored, SettingsKey::ActiveSettingsProfile).toString();
        const bool named = profileKey && !storedActive.isEmpty() && storedActive != DefaultProfileName
            && profiles.contains(storedActive);
        if (!named) {
            if (remove)
                stored.remove(key);
            else
                stored.insert(key, value);
            return;
        }
        QJsonObject profile = profiles.value(storedActive).toObject();
        if (remove)
            profile.remove(key);
        else
            profile.insert(key, value);
        profiles.insert(storedActive, profile);
        stored.insert(SettingsKey::SettingsProfiles, profiles);
    });
    // Our own change is not news to anyone.
    m_announcedProfileState = profileState();
    return error;
}

// --- accessors ------------------------------------------------------------

double SettingsStore::scrollScale() const { return resolved(0).number; }
double SettingsStore::inertiaDecay() const { return resolved(1).number; }
double SettingsStore::inertiaBoost() const { return resolved(2).number; }
double SettingsStore::touchDelay() const { return resolved(3).number; }
double SettingsStore::scrollReleaseDelay() const { return resolved(4).number; }
double SettingsStore::holdRepeatInterval() const { return resolved(5).number; }

bool SettingsStore::naturalScroll() const
{
    refreshCache();
    return m_naturalScroll;
}

MouseAction SettingsStore::mouseActionForInput(InputType input) const
{
    const qint64 value = resolvedInput(input, InputSetting::MouseAction).integer;
    if (value == static_cast<qint64>(MouseAction::ScrollAndPinch) && input != InputType::Finger2)
        return MouseAction::Scroll;
    return static_cast<MouseAction>(value);
}

KeyboardAction SettingsStore::keyboardActionForInput(InputType input) const
{
    return static_cast<KeyboardAction>(resolvedInput(input, InputSetting::ModifierAction).integer);
}

bool SettingsStore::inertiaEnabledForInput(InputType input) const
{
    return resolvedInput(input, InputSetting::InertiaEnabled).boolean;
}

std::uint64_t SettingsStore::modifierFlagsForInput(InputType input) const
{
    switch (keyboardActionForInput(input)) {
    case KeyboardAction::Shift: return ModifierFlag::Shift;
    case KeyboardAction::Control: return ModifierFlag::Control;
    case KeyboardAction::Option: return ModifierFlag::Option;
    case KeyboardAction::Command: return ModifierFlag::Command;
    default: return 0;
    }
}

std::uint16_t SettingsStore::keyComboKeyCodeForInput(InputType input) const
{
    const qint64 value = resolvedInput(input, InputSetting::KeyComboKeyCode).integer;
    return value >= 0 && value <= std::numeric_limits<std::uint16_t>::max() ? static_cast<std::uint16_t>(value) : 0;
}

std::uint64_t SettingsStore::keyComboFlagsForInput(InputType input) const
{
    const qint64 value = resolvedInput(input, InputSetting::KeyComboFlags).integer;
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

QString SettingsStore::keyComboLabelForInput(InputType input) const
{
    const QJsonValue& value = resolvedInput(input, InputSetting::KeyComboLabel).value;
    return value.isString() ? value.toString() : QString();
}

bool SettingsStore::hideCursor() const { return m_defaults.boolValue(SettingsKey::HideCursor); }
bool SettingsStore::showTouchIndicators() const { return m_defaults.boolValue(SettingsKey::ShowTouchIndicators); }
bool SettingsStore::sendCompatibilityReports() const
{
    return m_defaults.boolValue(SettingsKey::SendCompatibilityReports);
}
QString SettingsStore::apiBaseURL() const { return m_defaults.stringValue(SettingsKey::ApiBaseURL); }
QString SettingsStore::deviceSelection() const { return m_defaults.stringValue(SettingsKey::DeviceSelection); }
QString SettingsStore::displaySelection() const { return m_defaults.stringValue(SettingsKey::DisplaySelection); }
QString SettingsStore::keyboardPosition() const { return m_defaults.stringValue(SettingsKey::KeyboardPosition); }

// --- profiles -------------------------------------------------------------

QStringList SettingsStore::profileNames() const
{
    QStringList others;
    const QJsonObject profiles = allProfiles();
    for (auto it = profiles.begin(); it != profiles.end(); ++it) {
        if (it.key() != DefaultProfileName)
            others.append(it.key());
    }
    // The C locale has no collation of its own (accented names would sort
    // after z); English order is the neutral choice there.
    const QLocale locale;
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Names equal but for case still get a stable order.
    std::sort(others.begin(), others.end(), [&](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    others.prepend(DefaultProfileName);
    return others;
}

std::optional<QString> SettingsStore::trimmedProfileName(const QString& name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

std::optional<VTError> SettingsStore::applyProfileNamed(const QString& name)
{
    QString target = trimmedProfileName(name).value_or(DefaultProfileName);
    if (!allProfiles().contains(target))
        target = DefaultProfileName;
    const std::optional<VTError> error = m_defaults.setValue(SettingsKey::ActiveSettingsProfile, target);
    postProfileDidChange();
    return error;
}

// A failed save still changed the values in memory: observers hear of it,
// and the caller learns that it did not last.
static bool reportSaved(const std::optional<VTError>& failure, VTError* error)
{
    if (failure && error)
        *error = *failure;
    return !failure;
}

bool SettingsStore::saveCurrentValuesAsProfileNamed(const QString& name, VTError* error)
{
    const std::optional<QString> trimmed = trimmedProfileName(name);
    if (!trimmed || *trimmed == DefaultProfileName)
        return false;
    QJsonObject snapshot;
    for (const QString& key : profileKeys()) {
        const QJsonValue value = settingValue(key);
        if (!value.isUndefined() && !value.isNull())
            snapshot.insert(key, value);
    }
    const std::optional<VTError> failure = m_defaults.update([&](QJsonObject& stored) {
        QJsonObject profiles = storedProfiles(stored);
        profiles.insert(*trimmed, snapshot);
        stored.insert(SettingsKey::SettingsProfiles, profiles);
        stored.insert(SettingsKey::ActiveSettingsProfile, *trimmed);
    });
    postProfileDidChange();
    return reportSaved(failure, error);
}

bool SettingsStore::removeActiveProfile(VTError* error)
{
    const QString active = activeProfileName();
    if (active == DefaultProfileName)
        return false;
    const std::optional<VTError> failure = m_defaults.update([&](QJsonObject& stored) {
        QJsonObject profiles = storedProfiles(stored);
        profiles.remove(active);
        stored.insert(SettingsKey::SettingsProfiles, profiles);
        stored.insert(SettingsKey::ActiveSettingsProfile, DefaultProfileName);
    });
    postProfileDidChange();
    return reportSaved(failure, error);
}

bool SettingsStore::automaticProfileSwitching() const
{
    return m_defaults.boolValue(SettingsKey::AutomaticProfileSwitching);
}

std::optional<VTError> SettingsStore::setAutomaticProfileSwitching(bool on)
{
    const std::optional<VTError> error = m_defaults.setValue(SettingsKey::AutomaticProfileSwitching, on);
    postProfileDidChange();
    return error;
}

void SettingsStore::postProfileDidChange()
{
    m_announcedProfileState = profileState();
    m_center.post(VTNotification::SettingsProfileDidChange);
}

QJsonObject SettingsStore::profileState() const
{
    return QJsonObject{
        {QStringLiteral("active"), activeProfileName()},
        {QStringLiteral("profiles"), allProfiles()},
        {QStringLiteral("automatic"), automaticProfileSwitching()},
    };
}

void SettingsStore::announceExternalProfileChange()
{
    if (profileState() != m_announcedProfileState)
        postProfileDidChange();
}
