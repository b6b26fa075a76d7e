// The defaults file as anyone may have left it: loaded, read through every
// settings accessor and profile operation that only reads, and each stored
// value checked as `velotap defaults write` would. The input is also tried
// as a command-line VALUE for every known key.
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "settings/SettingDescriptions.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static QTemporaryDir dir;
    // Inputs that do not parse are moved aside; start each run empty.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(name));
    {
        QFile file(dir.filePath(QStringLiteral("defaults.json")));
        if (!file.open(QIODevice::WriteOnly))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }

    UserDefaults defaults(dir.path());
    NotificationCenter center;
    SettingsStore store(defaults, center);
    store.registerDefaults();

    double sum = store.scrollScale() + store.inertiaDecay() + store.inertiaBoost() + store.touchDelay()
        + store.scrollReleaseDelay() + store.holdRepeatInterval() + store.naturalScroll();
    for (InputType input : SettingsStore::inputTypes()) {
        sum += double(store.mouseActionForInput(input)) + double(store.keyboardActionForInput(input));
        sum += double(store.modifierFlagsForInput(input)) + store.inertiaEnabledForInput(input);
        sum += store.keyComboKeyCodeForInput(input) + double(store.keyComboFlagsForInput(input));
        sum += store.keyComboLabelForInput(input).size();
        if (input != InputType::Finger2 && store.mouseActionForInput(input) == MouseAction::ScrollAndPinch)
            std::abort();
    }
    const QStringList names = store.profileNames();
    if (names.isEmpty() || names.first() != DefaultProfileName || !store.allProfiles().contains(store.activeProfileName()))
        std::abort();

    const QJsonObject stored = defaults.storedValues();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (const SettingDescription* description = SettingDescriptions::find(it.key()))
            sum += SettingDescriptions::check(*description, it.value()).ok();
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(std::min<std::size_t>(size, 4096)));
    for (const SettingDescription& description : SettingDescriptions::all()) {
        const ParsedSettingValue parsed = SettingDescriptions::parse(description, text);
        // Whatever is accepted must pass the same check again.
        if (parsed.ok() && !SettingDescriptions::check(description, parsed.value).ok())
            std::abort();
    }
    (void)sum; // the reads are what is under test
    return 0;
}
