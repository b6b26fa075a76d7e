#include "settings/SettingDescriptions.h"

#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

SettingDescription describe(const QString& key, SettingKind kind, bool profileKey = false)
{
    return SettingDescription{key, kind, 0, 0, profileKey};
}

SettingDescription integer(const QString& key, qint64 minimum, qint64 maximum)
{
    return SettingDescription{key, SettingKind::Integer, minimum, maximum, true};
}

SettingDescription choice(const QString& key, QStringList choices)
{
    return SettingDescription{key, SettingKind::Choice, 0, 0, false, std::move(choices)};
}

std::vector<SettingDescription> buildTable()
{
    using K = SettingKind;
    std::vector<SettingDescription> table = {
        describe(SettingsKey::ScrollScale, K::Multiplier, true),
        describe(SettingsKey::InertiaDecay, K::DecayFactor, true),
        describe(SettingsKey::InertiaBoost, K::Multiplier, true),
        describe(SettingsKey::TouchDelay, K::Duration, true),
        describe(SettingsKey::ScrollReleaseDelay, K::Duration, true),
        describe(SettingsKey::HoldRepeatInterval, K::Duration, true),
    };
    for (InputType input : SettingsStore::inputTypes()) {
        const qint64 lastMouseAction = static_cast<qint64>(
            input == InputType::Finger2 ? MouseAction::ScrollAndPinch : MouseAction::Scroll);
        table.push_back(integer(SettingsStore::inputKey(input, InputSetting::MouseAction), 0, lastMouseAction));
        table.push_back(integer(SettingsStore::inputKey(input, InputSetting::ModifierAction), 0,
                                static_cast<qint64>(KeyboardAction::Screenshot)));
        table.push_back(describe(SettingsStore::inputKey(input, InputSetting::InertiaEnabled), K::Boolean, true));
        table.push_back(integer(SettingsStore::inputKey(input, InputSetting::KeyComboKeyCode), 0, 0xFFFF));
        table.push_back(integer(SettingsStore::inputKey(input, InputSetting::KeyComboFlags), 0,
                                std::numeric_limits<qint64>::max()));
        table.push_back(describe(SettingsStore::inputKey(input, InputSetting::KeyComboLabel), K::String, true));
    }
    const std::vector<SettingDescription> globals = {
        describe(SettingsKey::NaturalScroll, K::Boolean),
        describe(SettingsKey::HideCursor, K::Boolean),
        describe(SettingsKey::ShowTouchIndicators, K::Boolean),
        describe(SettingsKey::SendCompatibilityReports, K::Boolean),
        describe(SettingsKey::ApiBaseURL, K::WebAddress),
        describe(SettingsKey::DeviceSelection, K::String),
        choice(SettingsKey::DisplaySelection, {QStringLiteral("auto"), QStringLiteral("primary"),
                                               QStringLiteral("secondary"), QStringLiteral("display:")}),
        // The six places, and the four short names the keyboard also reads.
        choice(SettingsKey::KeyboardPosition,
               {QStringLiteral("bottomLeft"), QStringLiteral("bottomCenter"), QStringLiteral("bottomRight"),
                QStringLiteral("topLeft"), QStringLiteral("topCenter"), QStringLiteral("topRight"), QStringLiteral("bottom"),
                QStringLiteral("top"), QStringLiteral("left"), QStringLiteral("right")}),
        describe(SettingsKey::MissionControlAction, K::String),
        describe(SettingsKey::ScreenshotAction, K::String),
        choice(SettingsKey::EventBackend, {QStringLiteral("auto"), QStringLiteral("xtest"), QStringLiteral("uinput")}),
        describe(SettingsKey::GrabKernelTouchInput, K::Boolean),
        describe(SettingsKey::SettingsProfiles, K::Profiles),
        describe(SettingsKey::ActiveSettingsProfile, K::String),
        describe(SettingsKey::AutomaticProfileSwitching, K::Boolean),
        describe(SettingsKey::WelcomeAcceptedVersion, K::String),
        describe(SettingsKey::InitialCompatibilityReportSent, K::Boolean),
        describe(SettingsKey::PermissionsCompatibilityCheckPending, K::Boolean),
        describe(SettingsKey::InstallID, K::String),
        describe(SettingsKey::ShownPolicyMessageIDs, K::StringArray),
        describe(SettingsKey::LastLaunchedVersion, K::String),
        describe(SettingsKey::LastLaunchedBuild, K::String),
    };
    table.insert(table.end(), globals.begin(), globals.end());
    return table;
}

ParsedSettingValue failure(const QString& message)
{
    return ParsedSettingValue{QJsonValue(), message};
}

ParsedSettingValue success(const QJsonValue& value)
{
    return ParsedSettingValue{value, QString()};
}

QString shown(const QJsonValue& value)
{
    if (value.isString())
        return QStringLiteral("\"%1\"").arg(value.toString());
    if (value.isObject())
        return QStringLiteral("an object");
    if (value.isArray())
        return QStringLiteral("an array");
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.isNull())
        return QStringLiteral("null");
    return QString::number(value.toDouble(), 'g', 17);
}

// Beyond these a setting stops making sense (a touch delay of a minute
// already means no click ever arrives) and can only be a mistake.
constexpr double kLongestDuration = 60.0;
constexpr double kLargestMultiplier = 100.0;

ParsedSettingValue checkNumber(const SettingDescription& description, const QJsonValue& value)
{
    const QString needed = SettingDescriptions::kindText(description);
    if (!value.isDouble())
        return failure(QStringLiteral("%1 needs a %2, not %3").arg(description.key, needed, shown(value)));
    const double number = value.toDouble();
    bool inRange = std::isfinite(number) && number >= 0;
    if (description.kind == SettingKind::DecayFactor)
        inRange = inRange && number < 1;
    else if (description.kind == SettingKind::Duration)
        inRange = inRange && number <= kLongestDuration;
    else
        inRange = inRange && number <= kLargestMultiplier;
    if (!inRange)
        return failure(QStringLiteral("%1 needs a %2, not %3").arg(description.key, needed, shown(value)));
    return success(number);
}

ParsedSettingValue checkInteger(const SettingDescription& description, const QJsonValue& value)
{
    const QString needed = SettingDescriptions::kindText(description);
    constexpr qint64 notWhole = std::numeric_limits<qint64>::min();
    const qint64 number = value.isDouble() ? value.toInteger(notWhole) : notWhole;
    if (number == notWhole || number < description.minimum || number > description.maximum)
        return failure(QStringLiteral("%1 needs a %2, not %3").arg(description.key, needed, shown(value)));
    return success(number);
}

ParsedSettingValue checkBoolean(const SettingDescription& description, const QJsonValue& value)
{
    if (value.isBool())
        return success(value);
    if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1))
        return success(value.toDouble() == 1);
    if (value.isString()) {
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("yes") || text == QLatin1String("true"))
            return success(true);
        if (text == QLatin1String("no") || text == QLatin1String("false"))
            return success(false);
    }
    return failure(QStringLiteral("%1 needs true or false, not %2").arg(description.key, shown(value)));
}

bool isChoice(const SettingDescription& description, const QString& text)
{
    const auto digits = [](QStringView rest) {
        return !rest.isEmpty() && std::all_of(rest.begin(), rest.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    return std::any_of(description.choices.begin(), description.choices.end(), [&](const QString& choice) {
        if (choice.endsWith(QLatin1Char(':')))
            return text.startsWith(choice) && digits(QStringView(text).mid(choice.size()));
        return text == choice;
    });
}

ParsedSettingValue checkProfiles(const SettingDescription& description, const QJsonValue& value)
{
    if (!value.isObject())
        return failure(QStringLiteral("%1 needs an object of profile name -> object").arg(description.key));
    const QJsonObject profiles = value.toObject();
    for (auto it = profiles.begin(); it != profiles.end(); ++it) {
        if (!it.value().isObject()) {
            return failure(QStringLiteral("%1: the profile \"%2\" needs an object, not %3")
                               .arg(description.key, it.key(), shown(it.value())));
        }
        if (it.key().trimmed().isEmpty() || it.key() != it.key().trimmed())
            return failure(QStringLiteral("%1: \"%2\" is not a usable profile name").arg(description.key, it.key()));
        // Each profile value is checked like a direct write of that key.
        const QJsonObject profile = it.value().toObject();
        for (auto entry = profile.begin(); entry != profile.end(); ++entry) {
            const SettingDescription* inner = SettingDescriptions::find(entry.key());
            if (!inner || !inner->profileKey) {
                return failure(QStringLiteral("%1: \"%2\" is not a profile key (profile \"%3\")")
                                   .arg(description.key, entry.key(), it.key()));
            }
            const ParsedSettingValue parsed = SettingDescriptions::check(*inner, entry.value());
            if (!parsed.ok())
                return failure(QStringLiteral("%1 (profile \"%2\"): %3").arg(description.key, it.key(), parsed.error));
        }
    }
    QJsonObject normalised = profiles;
    if (!normalised.contains(DefaultProfileName))
        normalised.insert(DefaultProfileName, QJsonObject());
    return success(normalised);
}

} // namespace

namespace SettingDescriptions {

const std::vector<SettingDescription>& all()
{
    static const std::vector<SettingDescription> table = buildTable();
    return table;
}

const SettingDescription* find(QStringView key)
{
    for (const SettingDescription& description : all()) {
        if (description.key == key)
            return &description;
    }
    return nullptr;
}

QString kindText(const SettingDescription& description)
{
    switch (description.kind) {
    case SettingKind::Duration: return QStringLiteral("number of seconds from 0 to %1").arg(kLongestDuration);
    case SettingKind::Multiplier: return QStringLiteral("number from 0 to %1").arg(kLargestMultiplier);
    case SettingKind::DecayFactor: return QStringLiteral("number from 0 up to (not including) 1");
    case SettingKind::Boolean: return QStringLiteral("true or false");
    case SettingKind::Integer:
        return QStringLiteral("whole number %1-%2").arg(description.minimum).arg(description.maximum);
    case SettingKind::String: return QStringLiteral("string");
    case SettingKind::WebAddress: return QStringLiteral("http or https address");
    case SettingKind::Profiles: return QStringLiteral("object of profile name -> object");
    case SettingKind::StringArray: return QStringLiteral("array of strings");
    case SettingKind::Choice: {
        QStringList shownChoices = description.choices;
        for (QString& choice : shownChoices)
            if (choice.endsWith(QLatin1Char(':')))
                choice += QStringLiteral("<number>");
        return QStringLiteral("one of ") + shownChoices.join(QStringLiteral(", "));
    }
    }
    return QString();
}

ParsedSettingValue check(const SettingDescription& description, const QJsonValue& value)
{
    switch (description.kind) {
    case SettingKind::Duration:
    case SettingKind::Multiplier:
    case SettingKind::DecayFactor:
        return checkNumber(description, value);
    case SettingKind::Integer:
        return checkInteger(description, value);
    case SettingKind::Boolean:
        return checkBoolean(description, value);
    case SettingKind::String:
        if (!value.isString())
            return failure(QStringLiteral("%1 needs a string, not %2").arg(description.key, shown(value)));
        return success(value);
    case SettingKind::WebAddress: {
        const QUrl url(value.toString(), QUrl::StrictMode);
        const bool usable = value.isString() && url.isValid() && !url.host().isEmpty()
            && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
        if (!usable)
            return failure(QStringLiteral("%1 needs an http or https address, not %2").arg(description.key, shown(value)));
        return success(value);
    }
    case SettingKind::Profiles:
        return checkProfiles(description, value);
    case SettingKind::Choice:
        if (!value.isString() || !isChoice(description, value.toString()))
            return failure(QStringLiteral("%1 needs %2, not %3")
                               .arg(description.key, SettingDescriptions::kindText(description), shown(value)));
        return success(value);
    case SettingKind::StringArray: {
        bool usable = value.isArray();
        for (const QJsonValue& item : value.toArray())
            usable = usable && item.isString();
        if (!usable)
            return failure(QStringLiteral("%1 needs an array of strings, not %2").arg(description.key, shown(value)));
        return success(value);
    }
    }
    return failure(QStringLiteral("%1 cannot be set").arg(description.key));
}

ParsedSettingValue parse(const SettingDescription& description, const QString& text)
{
    // Wrapping in an array lets scalars (numbers, true, "quoted") parse too.
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray("[") + text.toUtf8() + "]", &error);
    const bool isJson = error.error == QJsonParseError::NoError && document.array().size() == 1;
    const QJsonValue json = isJson ? document.array().at(0) : QJsonValue();

    const bool textual = description.kind == SettingKind::String || description.kind == SettingKind::WebAddress
        || description.kind == SettingKind::Choice;
    if (textual)
        return check(description, json.isString() ? json : QJsonValue(text));
    if (description.kind == SettingKind::Integer && !isJson) {
        // Flags are easier to type in hexadecimal.
        bool hex = false;
        const qint64 number = text.trimmed().toLongLong(&hex, 16);
        if (hex && text.trimmed().startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            return check(description, QJsonValue(number));
    }
    return check(description, isJson ? json : QJsonValue(text));
}

QJsonValue valueInForce(const SettingDescription& description, const QJsonValue& stored, const QJsonValue& fallback)
{
    if (stored.isUndefined() || stored.isNull())
        return fallback;
    switch (description.kind) {
    case SettingKind::Duration:
    case SettingKind::Multiplier:
    case SettingKind::DecayFactor:
        return UserDefaults::toDouble(stored);
    case SettingKind::Integer:
        return UserDefaults::toInteger(stored);
    case SettingKind::Boolean:
        return UserDefaults::toBool(stored);
    case SettingKind::Choice:
        return check(description, stored).ok() ? stored : fallback;
    default:
        return stored;
    }
}

} // namespace SettingDescriptions
