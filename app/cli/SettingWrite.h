#pragma once
#include <QString>

class SettingsStore;

namespace cli {

// A setting typed by the user, checked against its key and written through
// the active profile as the program would: `velotap defaults write` and
// `velotap replay --set` take values the same way.
struct SettingWrite {
    int status = 0;  // 0 written, 1 not saved (the value holds in memory), 2 refused
    QString message; // why, when not 0
};

SettingWrite writeSetting(SettingsStore& store, const QString& key, const QString& text);

// What to say about a key no setting has.
QString unknownKeyText(const QString& key);

} // namespace cli
