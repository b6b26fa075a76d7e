#include "app/cli/SettingWrite.h"

#include "app/cli/Output.h"

#include "settings/SettingDescriptions.h"
#include "settings/SettingsStore.h"

namespace cli {

QString unknownKeyText(const QString& key)
{
    return QStringLiteral("unknown key '%1'; 'velotap defaults keys' lists them").arg(printable(key));
}

SettingWrite writeSetting(SettingsStore& store, const QString& key, const QString& text)
{
    const SettingDescription* description = SettingDescriptions::find(key);
    if (!description)
        return {2, unknownKeyText(key)};
    const ParsedSettingValue parsed = SettingDescriptions::parse(*description, text);
    if (!parsed.ok())
        return {2, parsed.error};
    std::optional<VTError> failure;
    if (key == SettingsKey::ActiveSettingsProfile) {
        // Switching to a profile that does not exist would silently mean "Default".
        const QString name = SettingsStore::trimmedProfileName(parsed.value.toString()).value_or(QString());
        if (!store.allProfiles().contains(name)) {
            return {2, QStringLiteral("there is no profile '%1'; profiles: %2")
                           .arg(parsed.value.toString(), store.profileNames().join(QStringLiteral(", ")))};
        }
        failure = store.applyProfileNamed(name);
    } else {
        failure = store.setSettingValue(key, parsed.value);
    }
    if (failure)
        return {1, failure->description};
    return {};
}

} // namespace cli
