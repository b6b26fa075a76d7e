#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/cli/SettingWrite.h"

#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "settings/SettingDescriptions.h"
#include "settings/SettingsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// `velotap defaults`: reads and changes the same defaults file as the running
// program. Profile keys go through the active profile exactly as the program
// writes them; the running program picks the change up from the file.
namespace cli {
namespace {

const char* const Usage =
    "usage: velotap defaults read [KEY]      the value in force (all keys without KEY)\n"
    "       velotap defaults write KEY VALUE  VALUE is JSON, or a plain string when it is not\n"
    "       velotap defaults delete KEY       back to the default\n"
    "       velotap defaults keys             every key with what it holds\n";

QString formatted(const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (value.isObject())
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented)).trimmed();
    if (value.isArray())
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Indented)).trimmed();
    // Scalars: let the JSON writer spell numbers (64-bit integers stay exact).
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
}

const SettingDescription* knownKeyOrComplain(const QString& key)
{
    const SettingDescription* description = SettingDescriptions::find(key);
    if (!description)
        err() << "velotap defaults: " << unknownKeyText(key) << '\n';
    return description;
}

int read(const SettingsStore& store, const QStringList& args)
{
    if (args.isEmpty()) {
        QJsonObject values = store.defaults().storedValues();
        for (const SettingDescription& description : SettingDescriptions::all()) {
            const QJsonValue value = store.settingValue(description.key);
            if (!value.isUndefined())
                values.insert(description.key, value);
        }
        out() << formatted(values) << '\n';
        return 0;
    }
    if (args.size() > 1) {
        err() << Usage;
        return 2;
    }
    const QString& key = args.first();
    const SettingDescription* description = knownKeyOrComplain(key);
    if (!description)
        return 2;
    // What the program uses: through the active profile for profile keys,
    // read as leniently as the program reads it.
    const QJsonValue stored = store.settingValue(key);
    const QJsonValue fallback = description->profileKey ? SettingsStore::builtinDefaults().value(key)
                                                        : store.defaults().registeredDefaults().value(key);
    const QJsonValue inForce = SettingDescriptions::valueInForce(*description, stored, fallback);
    if (inForce.isUndefined()) {
        err() << "velotap defaults: " << key << " has no value\n";
        return 1;
    }
    const ParsedSettingValue usable = SettingDescriptions::check(*description, stored);
    if (!stored.isUndefined() && !usable.ok()) {
        err() << "velotap defaults: the stored value is unusable (" << usable.error << "); "
              << (inForce == stored ? QStringLiteral("the program uses it as it stands")
                                    : QStringLiteral("the program uses ") + formatted(inForce))
              << "; `velotap defaults write` a good one or `velotap defaults delete " << key << "`\n";
    }
    out() << formatted(inForce) << '\n';
    return 0;
}

int reportWriteError(const std::optional<VTError>& error)
{
    if (!error)
        return 0;
    err() << "velotap defaults: " << error->description << '\n';
    return 1;
}

int write(SettingsStore& store, const QStringList& args)
{
    if (args.size() != 2) {
        err() << Usage;
        return 2;
    }
    const SettingWrite result = writeSetting(store, args.at(0), args.at(1));
    if (result.status != 0)
        err() << "velotap defaults: " << result.message << '\n';
    return result.status;
}

int remove(SettingsStore& store, const QStringList& args)
{
    if (args.size() != 1) {
        err() << Usage;
        return 2;
    }
    const QString& key = args.first();
    // A stray key (a typo written by hand, an old version's) may still go.
    if (!store.defaults().hasStoredValue(key) && !knownKeyOrComplain(key))
        return 2;
    return reportWriteError(store.setSettingValue(key, QJsonValue::Undefined));
}

int listKeys(const SettingsStore& store)
{
    const QJsonObject registered = store.defaults().registeredDefaults();
    for (const SettingDescription& description : SettingDescriptions::all()) {
        QJsonValue fallback = registered.value(description.key);
        if (fallback.isUndefined())
            fallback = SettingsStore::builtinDefaults().value(description.key);
        QString line = description.key.leftJustified(40) + SettingDescriptions::kindText(description);
        if (!fallback.isUndefined())
            line += QStringLiteral("; default ") + formatted(fallback).simplified();
        if (description.profileKey)
            line += QStringLiteral("; per profile");
        out() << line << '\n';
    }
    return 0;
}

} // namespace

int defaults(const QStringList& args)
{
    if (args.isEmpty()) {
        err() << Usage;
        return 2;
    }
    UserDefaults userDefaults(UserDefaults::standardDirectory());
    NotificationCenter center;
    SettingsStore store(userDefaults, center);
    store.registerDefaults();

    const QString& verb = args.first();
    const QStringList rest = args.mid(1);
    if (verb == QLatin1String("read"))
        return read(store, rest);
    if (verb == QLatin1String("write"))
        return write(store, rest);
    if (verb == QLatin1String("delete"))
        return remove(store, rest);
    if (verb == QLatin1String("keys"))
        return listKeys(store);
    if (verb == QLatin1String("help") || verb == QLatin1String("--help") || verb == QLatin1String("-h")) {
        out() << Usage;
        return 0;
    }
    err() << "velotap defaults: unknown action '" << verb << "'\n" << Usage;
    return 2;
}

} // namespace cli
