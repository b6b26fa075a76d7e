#include "settings/SettingsStore.h"

#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "tests/support/AllocationCounter.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline void PrintTo(const QJsonObject& object, std::ostream* os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

#include "tests/support/QtPrinters.h"

namespace {

using enum InputType;

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStoreTest()
    {
        store.registerDefaults();
        observer = ScopedObserver(center, VTNotification::SettingsProfileDidChange, [this](const Notification&) {
            ++notifications;
        });
    }

    QJsonObject profile(const QString& name) const
    {
        return defaults.value(SettingsKey::SettingsProfiles).toObject().value(name).toObject();
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore store{defaults, center};
    ScopedObserver observer;
    int notifications = 0;
};

TEST_F(SettingsStoreTest, ReadsGoThroughTheActiveProfileAndItsFallbacks)
{
    // ScrollAndPinch belongs to finger2 only.
    store.setSettingValue("finger1MouseAction", 5);
    store.setSettingValue("finger2MouseAction", 5);
    EXPECT_EQ(store.mouseActionForInput(Finger1), MouseAction::Scroll);
    EXPECT_EQ(store.mouseActionForInput(Finger2), MouseAction::ScrollAndPinch);
    EXPECT_EQ(store.mouseActionForInput(Finger3), MouseAction::Middle);

    const KeyboardAction actions[] = {KeyboardAction::Shift, KeyboardAction::Control, KeyboardAction::Option,
                                      KeyboardAction::Command, KeyboardAction::Escape};
    const std::uint64_t flags[] = {0x20000, 0x40000, 0x80000, 0x100000, 0};
    for (int i = 0; i < InputTypeCount; ++i) {
        const InputType input = SettingsStore::inputTypes()[i];
        store.setSettingValue(SettingsStore::inputKey(input, InputSetting::ModifierAction),
                              static_cast<qint64>(actions[i]));
        EXPECT_EQ(store.modifierFlagsForInput(input), flags[i]);
        EXPECT_EQ(store.keyboardActionForInput(input), actions[i]);
    }

    // A named profile without scrollScale reads the built-in value, not Default's.
    store.setSettingValue("scrollScale", 3.0);
    defaults.setValue(SettingsKey::SettingsProfiles,
                      QJsonObject{{"Default", QJsonObject()}, {"Work", QJsonObject{{"touchDelay", 0.3}}},
                                  {"Broken", 17}});
    store.applyProfileNamed("Work");
    EXPECT_EQ(store.scrollScale(), 1.5);
    EXPECT_EQ(store.touchDelay(), 0.3);
    EXPECT_EQ(store.mouseActionForInput(Finger1), MouseAction::Left);
    // Global keys never go through the profile, for reads or writes.
    store.setSettingValue(SettingsKey::MissionControlAction, "key:F3");
    EXPECT_EQ(defaults.storedValue(SettingsKey::MissionControlAction).toString(), "key:F3");
    EXPECT_EQ(store.settingString(SettingsKey::MissionControlAction), "key:F3");
    EXPECT_FALSE(profile("Work").contains(SettingsKey::MissionControlAction));

    // Malformed values never fail.
    store.applyProfileNamed("Broken");
    EXPECT_EQ(store.activeProfileName(), "Broken") << "a non-dictionary entry is an empty profile";
    EXPECT_EQ(store.touchDelay(), 0.1);
    store.applyProfileNamed("Default");
    store.setSettingValue("penKeyComboLabel", 42);
    store.setSettingValue("penKeyComboKeyCode", 70000);
    store.setSettingValue("penKeyComboFlags", std::numeric_limits<qint64>::max());
    store.setSettingValue("touchDelay", "soon");
    EXPECT_EQ(store.keyComboLabelForInput(Pen), QString());
    EXPECT_EQ(store.keyComboKeyCodeForInput(Pen), 0) << "outside 16 bits means no key";
    EXPECT_EQ(store.keyComboFlagsForInput(Pen), std::uint64_t(std::numeric_limits<qint64>::max()));
    EXPECT_EQ(store.touchDelay(), 0);
    store.setSettingValue("eraserMouseAction", 99);
    EXPECT_EQ(static_cast<qint64>(store.mouseActionForInput(Eraser)), 99) << "left for the consumer to ignore";

    // An active name whose profile disappeared reads as Default.
    defaults.setValue(SettingsKey::ActiveSettingsProfile, "Gone");
    EXPECT_EQ(store.activeProfileName(), "Default");
    EXPECT_EQ(store.scrollScale(), 3.0);

    // naturalScroll is the same whatever profile is active.
    defaults.setValue(SettingsKey::NaturalScroll, false);
    store.applyProfileNamed("Work");
    EXPECT_FALSE(store.naturalScroll());
}

TEST_F(SettingsStoreTest, WritesGoToExactlyOnePlace)
{
    store.setSettingValue("touchDelay", 0.2);
    EXPECT_EQ(defaults.storedValue(u"touchDelay").toDouble(), 0.2);
    EXPECT_FALSE(defaults.hasStoredValue(SettingsKey::SettingsProfiles));

    ASSERT_TRUE(store.saveCurrentValuesAsProfileNamed("Work"));
    ASSERT_TRUE(store.saveCurrentValuesAsProfileNamed("Home"));
    store.applyProfileNamed("Work");
    store.setSettingValue("touchDelay", 0.5);
    EXPECT_EQ(profile("Work").value("touchDelay").toDouble(), 0.5);
    EXPECT_EQ(profile("Home").value("touchDelay").toDouble(), 0.2);
    EXPECT_EQ(defaults.storedValue(u"touchDelay").toDouble(), 0.2) << "the top-level key keeps its value";
    EXPECT_EQ(store.touchDelay(), 0.5);

    // Removal in a named profile falls back to the built-in value...
    store.setSettingValue("touchDelay", QJsonValue::Undefined);
    EXPECT_FALSE(profile("Work").contains("touchDelay"));
    EXPECT_EQ(store.touchDelay(), 0.1);
    // ...and in Default to the registered default.
    store.applyProfileNamed("Default");
    EXPECT_EQ(store.touchDelay(), 0.2);
    store.setSettingValue("touchDelay", QJsonValue::Null);
    EXPECT_FALSE(defaults.hasStoredValue(u"touchDelay"));
    EXPECT_EQ(store.touchDelay(), 0.1);

    // A profile switch made by another writer is respected by the next write.
    UserDefaults other(dir.path());
    other.setValue(SettingsKey::ActiveSettingsProfile, "Home");
    store.setSettingValue("scrollScale", 4.0);
    EXPECT_EQ(profile("Home").value("scrollScale").toDouble(), 4.0);
    EXPECT_FALSE(defaults.hasStoredValue(u"scrollScale"));
}

TEST_F(SettingsStoreTest, ProfileNamesAndApplying)
{
    // Sorting follows the user's language, with a neutral order in the C locale.
    defaults.setValue(SettingsKey::SettingsProfiles,
                      QJsonObject{{"beta", QJsonObject()}, {"Alpha", QJsonObject()}, {"Default", QJsonObject()},
                                  {"Ölberg", QJsonObject()}, {"zulu", QJsonObject()}});
    const QLocale previous;
    for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
        QLocale::setDefault(locale);
        EXPECT_EQ(store.profileNames(), (QStringList{"Default", "Alpha", "beta", "Ölberg", "zulu"}));
    }
    QLocale::setDefault(previous);

    store.applyProfileNamed("  beta ");
    EXPECT_EQ(store.activeProfileName(), "beta");
    store.applyProfileNamed("Beta");
    EXPECT_EQ(store.activeProfileName(), "Default") << "names compare exactly";
    EXPECT_EQ(defaults.storedValue(SettingsKey::ActiveSettingsProfile).toString(), "Default");
    store.applyProfileNamed("Default");
    EXPECT_EQ(notifications, 3) << "posted on every apply, also when nothing changed";

    store.setAutomaticProfileSwitching(false);
    EXPECT_FALSE(store.automaticProfileSwitching());
    EXPECT_EQ(notifications, 4);
}

TEST_F(SettingsStoreTest, SavingAndRemovingProfiles)
{
    ASSERT_TRUE(store.saveCurrentValuesAsProfileNamed("Work"));
    const QJsonObject work = profile("Work");
    EXPECT_EQ(work, SettingsStore::builtinDefaults());
    EXPECT_EQ(store.activeProfileName(), "Work");
    EXPECT_EQ(notifications, 1);

    // Saving again under the same name replaces it with the values in force.
    defaults.setValue("scrollScale", 2.5); // Default's own value
    defaults.setValue("settingsProfiles", QJsonObject{{"Default", QJsonObject()}, {"Work", profile("Work")},
                                                      {"Old", QJsonObject{{"scrollScale", 9.0}}}});
    store.applyProfileNamed("Old");
    ASSERT_TRUE(store.saveCurrentValuesAsProfileNamed(" Work "));
    EXPECT_EQ(profile("Work").value("scrollScale").toDouble(), 9.0);
    EXPECT_EQ(profile("Work").value("touchDelay").toDouble(), 0.1);
    EXPECT_EQ(profile("Old").size(), 1) << "the source profile is untouched";

    const int before = notifications;
    EXPECT_FALSE(store.saveCurrentValuesAsProfileNamed("Default"));
    EXPECT_FALSE(store.saveCurrentValuesAsProfileNamed("  \n"));
    EXPECT_EQ(store.activeProfileName(), "Work");
    EXPECT_EQ(notifications, before);
    EXPECT_EQ(store.profileNames(), (QStringList{"Default", "Old", "Work"}));

    ASSERT_TRUE(store.removeActiveProfile());
    EXPECT_EQ(store.activeProfileName(), "Default");
    EXPECT_EQ(store.profileNames(), (QStringList{"Default", "Old"}));
    EXPECT_EQ(store.scrollScale(), 2.5) << "Default's own values are back";
    EXPECT_FALSE(store.removeActiveProfile()) << "Default cannot be removed";
    EXPECT_EQ(notifications, before + 1);
}

// Where the defaults cannot be saved, every profile operation says so; its
// change still holds while the program runs.
TEST(SettingsStoreProfiles, FailedSavesAreReported)
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("notADirectory"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    UserDefaults defaults(blocker.fileName());
    NotificationCenter center;
    SettingsStore store(defaults, center);
    store.registerDefaults();

    VTError error;
    EXPECT_FALSE(store.saveCurrentValuesAsProfileNamed("Work", &error));
    EXPECT_EQ(error.domain, "Velotap");
    EXPECT_EQ(store.activeProfileName(), "Work");
    EXPECT_TRUE(store.applyProfileNamed("Default").has_value());
    EXPECT_TRUE(store.setAutomaticProfileSwitching(false).has_value());
    store.applyProfileNamed("Work");
    error = VTError{};
    EXPECT_FALSE(store.removeActiveProfile(&error));
    EXPECT_FALSE(error.description.isEmpty());
    EXPECT_EQ(store.activeProfileName(), "Default");
}

TEST_F(SettingsStoreTest, FrameReadsAllocateNothingAndSeeChangesAtOnce)
{
    store.saveCurrentValuesAsProfileNamed("Work");
    double sum = 0;
    store.scrollScale(); // builds the cache once
    {
        velotap::test::AllocationScope scope;
        for (InputType input : SettingsStore::inputTypes()) {
            sum += static_cast<double>(store.mouseActionForInput(input));
            sum += store.inertiaEnabledForInput(input) + store.modifierFlagsForInput(input);
            sum += store.keyComboKeyCodeForInput(input) + store.keyComboFlagsForInput(input);
        }
        sum += store.scrollScale() + store.touchDelay() + store.inertiaDecay() + store.naturalScroll();
        sum += store.settingDouble(u"scrollReleaseDelay") + store.settingDouble(SettingsKey::InertiaBoost);
        EXPECT_EQ(scope.count(), 0u);
    }
    EXPECT_GT(sum, 0);

    // Another writer switches the profile: the next read follows, and the
    // profile menu and settings window hear of it once.
    const int before = notifications;
    UserDefaults other(dir.path());
    other.setValue(SettingsKey::ActiveSettingsProfile, "Default");
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_EQ(store.activeProfileName(), "Default");
    EXPECT_EQ(store.scrollScale(), 1.5);
    EXPECT_EQ(notifications, before + 1);
    other.setValue(SettingsKey::HideCursor, true);
    EXPECT_TRUE(defaults.synchronize());
    EXPECT_TRUE(store.hideCursor());
    EXPECT_EQ(notifications, before + 1) << "not a profile change";
}

} // namespace
