#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct CommandResult {
    int status = -1;
    QString out;
    QString err;
};

// Runs the built velotap executable on a private defaults directory.
class DefaultsCommandTest : public ::testing::Test {
protected:
    CommandResult velotap(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELOTAP_CONFIG_DIR", dir.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(VELOTAP_EXECUTABLE), QStringList{"defaults"} + args);
        if (!process.waitForFinished(30000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }

    QJsonObject file() const
    {
        QFile f(dir.filePath("defaults.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }

    QTemporaryDir dir;
};

TEST_F(DefaultsCommandTest, ReadWriteDeleteOnTheSameFile)
{
    CommandResult run = velotap({"read", "scrollScale"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1.5") << "the registered default";
    EXPECT_FALSE(QFile::exists(dir.filePath("defaults.json"))) << "reading writes nothing";

    // Key, value written, value read back: booleans become booleans, a string key keeps
    // the text, 64-bit integers stay exact.
    const char* const writes[][3] = {
        {"scrollScale", "2.5", "2.5"},
        {"naturalScroll", "NO", "false"},
        {"welcomeAcceptedVersion", "1.10", "1.10"},
        {"finger1KeyComboFlags", "9007199254740993", "9007199254740993"},
        {"finger2KeyComboLabel", "⌃⌥ Delete", "⌃⌥ Delete"},
    };
    for (const auto& [key, value, readBack] : writes) {
        SCOPED_TRACE(key);
        EXPECT_EQ(velotap({"write", key, value}).status, 0);
        EXPECT_EQ(velotap({"read", key}).out, QString::fromUtf8(readBack));
    }

    EXPECT_EQ(velotap({"delete", "scrollScale"}).status, 0);
    EXPECT_EQ(velotap({"read", "scrollScale"}).out, "1.5");
    EXPECT_FALSE(file().contains("scrollScale"));

    run = velotap({"read"});
    EXPECT_EQ(run.status, 0);
    const QJsonObject all = QJsonDocument::fromJson(run.out.toUtf8()).object();
    EXPECT_EQ(all.value("apiBaseURL").toString(), "https://api.example.com/api/v1");
    EXPECT_EQ(all.value("finger2MouseAction").toInt(), 4);
    EXPECT_EQ(velotap({"keys"}).status, 0);
}

TEST_F(DefaultsCommandTest, BadKeysAndValuesAreRefused)
{
    struct Case {
        QStringList args;
        const char* error;
    };
    const Case cases[] = {
        {{"write", "scrolScale", "2"}, "unknown key 'scrolScale'"},
        {{"write", "scrollScale", "fast"}, "scrollScale needs a number >= 0"},
        {{"write", "scrollScale", "-1"}, "scrollScale needs a number >= 0"},
        {{"write", "inertiaDecay", "1"}, "inertiaDecay needs a number from 0 up to"},
        {{"write", "finger1MouseAction", "5"}, "finger1MouseAction needs a whole number 0-4"},
        {{"write", "finger2ModifierAction", "2.5"}, "finger2ModifierAction needs a whole number 0-9"},
        {{"write", "naturalScroll", "maybe"}, "naturalScroll needs true or false"},
        {{"write", "apiBaseURL", "ftp://example.com"}, "apiBaseURL needs an http or https address"},
        {{"write", "settingsProfiles", R"({"Work": {"scrollScale": "x"}})"}, "needs a number"},
        {{"write", "activeSettingsProfile", "Nowhere"}, "there is no profile 'Nowhere'"},
        {{"delete", "noSuchKey"}, "unknown key 'noSuchKey'"},
        {{"write", "scrollScale"}, "usage:"},
        {{"frobnicate"}, "unknown action 'frobnicate'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandResult run = velotap(c.args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.error))) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("defaults.json"))) << "nothing was written";
}

TEST_F(DefaultsCommandTest, ProfileKeysGoThroughTheActiveProfile)
{
    {
        UserDefaults defaults(dir.path());
        SettingsStore store(defaults);
        store.registerDefaults();
        store.setSettingValue("touchDelay", 0.2);
        store.saveCurrentValuesAsProfileNamed("Work");
    }
    EXPECT_EQ(velotap({"write", "touchDelay", "0.4"}).status, 0);
    const QJsonObject stored = file();
    EXPECT_EQ(stored.value("touchDelay").toDouble(), 0.2) << "Default's value stays";
    EXPECT_EQ(stored.value("settingsProfiles").toObject().value("Work").toObject().value("touchDelay").toDouble(), 0.4);
    EXPECT_EQ(velotap({"read", "touchDelay"}).out, "0.4");

    EXPECT_EQ(velotap({"write", "activeSettingsProfile", "Default"}).status, 0);
    EXPECT_EQ(velotap({"read", "touchDelay"}).out, "0.2");

    // A hand-written stray key can still be deleted.
    UserDefaults(dir.path()).setValue("oldKey", 1);
    EXPECT_EQ(velotap({"delete", "oldKey"}).status, 0);
    EXPECT_FALSE(file().contains("oldKey"));
}

} // namespace
