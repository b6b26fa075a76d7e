#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"
#include "tests/support/TestFiles.h"

#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct CommandResult {
    int status = -1;
    QString out;
    QString err;
};

// Runs the built velotap executable on a private defaults directory.
class DefaultsCommandTest : public ::testing::Test {
protected:
    // launcher: a command that runs the executable as another user.
    CommandResult velotap(const QStringList& args, const QString& configDir = {}, const QStringList& launcher = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VELOTAP_CONFIG_DIR", configDir.isEmpty() ? dir.path() : configDir);
        process.setProcessEnvironment(environment);
        const QStringList command = launcher + QStringList{QStringLiteral(VELOTAP_EXECUTABLE), "defaults"} + args;
        process.start(command.first(), command.mid(1));
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
        {{"write", "scrollScale", "fast"}, "scrollScale needs a number from 0 to 100"},
        {{"write", "scrollScale", "-1"}, "scrollScale needs a number from 0 to 100"},
        {{"write", "touchDelay", "1e300"}, "touchDelay needs a number of seconds from 0 to 60"},
        {{"write", "eventBackend", "xtset"}, "eventBackend needs one of auto, xtest, uinput"},
        {{"write", "keyboardPosition", "middle"}, "keyboardPosition needs one of bottomLeft"},
        {{"write", "displaySelection", "display:two"}, "display:<number>"},
        {{"read", "scrolScale"}, "unknown key 'scrolScale'"},
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

    // Fixed sets take their values; flags also in hexadecimal.
    for (const QStringList& good : {QStringList{"eventBackend", "uinput"}, QStringList{"displaySelection", "display:3"},
                                    QStringList{"keyboardPosition", "left"}, QStringList{"finger1KeyComboFlags", "0x120000"}})
        EXPECT_EQ(velotap(QStringList{"write"} + good).status, 0) << good.join(' ').toStdString();
    EXPECT_EQ(velotap({"read", "finger1KeyComboFlags"}).out, "1179648");

    // A value edited in by hand that the program cannot use: the value in
    // force is shown, and the stored one marked.
    QJsonObject edited = file();
    edited.insert("eventBackend", "xtset");
    edited.insert("touchDelay", 1e300);
    writeTestFile(dir.filePath("defaults.json"), QJsonDocument(edited).toJson());
    const CommandResult backend = velotap({"read", "eventBackend"});
    EXPECT_EQ(backend.status, 0);
    EXPECT_EQ(backend.out, "auto");
    EXPECT_TRUE(backend.err.contains("the stored value is unusable (eventBackend needs one of auto, xtest, uinput, not "
                                     "\"xtset\"); the program uses auto")) << backend.err.toStdString();
    const CommandResult delay = velotap({"read", "touchDelay"});
    EXPECT_EQ(delay.out, "1e+300");
    EXPECT_TRUE(delay.err.contains("the program uses it as it stands")) << delay.err.toStdString();
}

TEST_F(DefaultsCommandTest, AFailedSaveIsNoSuccess)
{
    // The settings directory cannot be made: a file stands where it would go.
    QFile blocker(dir.filePath("velotap"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    for (const QStringList& args : {QStringList{"write", "scrollScale", "2"}, QStringList{"write", "activeSettingsProfile", "Default"}}) {
        const CommandResult run = velotap(args, blocker.fileName());
        EXPECT_EQ(run.status, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("cannot create the directory")) << run.err.toStdString();
    }
}

// A defaults file that can be written but not read is not replaced by a
// file holding only the new value. Root reads anything, so as root the
// command runs as an unprivileged user.
TEST_F(DefaultsCommandTest, AFileThatCannotBeReadIsNotReplaced)
{
    const QByteArray settings = R"({"naturalScroll": false, "scrollScale": 2.5})";
    QFile file(dir.filePath("defaults.json"));
    writeTestFile(file.fileName(), settings);
    QStringList launcher;
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "running as root without setpriv";
        launcher = QStringList{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
        QFile::setPermissions(dir.path(), QFile::Permissions(0x7777));
    }
    file.setPermissions(QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);

    const CommandResult run = velotap({"write", "touchDelay", "0.2"}, {}, launcher);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains("nothing in it is lost")) << run.err.toStdString();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), settings);
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
