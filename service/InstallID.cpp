#include "service/InstallID.h"

#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"

#include <QUuid>

QString currentInstallID(UserDefaults& defaults)
{
    const QString stored = defaults.stringValue(SettingsKey::InstallID);
    if (!stored.isEmpty())
        return stored;
    const QString created = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    defaults.setValue(SettingsKey::InstallID, created);
    return created;
}
