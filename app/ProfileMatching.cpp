#include "app/ProfileMatching.h"

#include "settings/SettingsStore.h"

QString profileForApplicationName(const QStringList& profileNames, const QString& applicationName)
{
    const QString name = applicationName.trimmed();
    if (name.isEmpty())
        return DefaultProfileName;
    for (const QString& profile : profileNames) {
        if (profile == DefaultProfileName)
            continue;
        const QString trimmed = profile.trimmed();
        if (trimmed.isEmpty())
            continue;
        if (trimmed.compare(name, Qt::CaseInsensitive) == 0 || name.contains(trimmed, Qt::CaseInsensitive)
            || trimmed.contains(name, Qt::CaseInsensitive))
            return profile;
    }
    return DefaultProfileName;
}
