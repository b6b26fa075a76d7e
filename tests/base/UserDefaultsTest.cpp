#include "base/UserDefaults.h"
#include "tests/support/TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

inline void PrintTo(const QJsonObject& object, std::ostream* os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

QStringList g_messages;

// Captures the log lines written while it lives.
struct LogCapture {
    LogCapture()
        : m_previous(qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { g_messages.append(message); }))
    {
        g_messages.clear();
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    QtMessageHandler m_previous;
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject fileContent(const QString& path)
{
    return QJsonDocument::fromJson(fileBytes(path)).object();
}

QStringList corruptFiles(const QString& directory)
{
    return QDir(directory).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
}

TEST(UserDefaults, RegisteredDefaultsRemovalAndValueTypesSurviveTheFile)
{
    QTemporaryDir dir;
    // 64-bit integers beyond a double's precision, booleans that stay booleans, nesting.
    const QJsonObject values{
        {"flags", std::numeric_limits<qint64>::max()}, {"odd", (qint64(1) << 53) + 1}, {"flag", false},
        {"label", QStringLiteral("⌘⇧ Ä")}, {"fraction", 0.1},
        {"nested", QJsonObject{{"Work", QJsonObject{{"a", 1}}}, {"list", QJsonArray{1, "x"}}}},
    };
    {
        UserDefaults defaults(dir.path());
        defaults.registerDefaults({{"speed", 1.5}, {"enabled", true}, {"scale", 2.0}});
        EXPECT_EQ(defaults.value(u"speed").toDouble(), 1.5);
        EXPECT_FALSE(QFile::exists(defaults.filePath())) << "reads and registering never write";

        EXPECT_FALSE(defaults.setValue("speed", 3.0));
        EXPECT_EQ(defaults.doubleValue(u"speed"), 3.0);
        EXPECT_FALSE(defaults.removeValue("speed"));
        EXPECT_EQ(defaults.doubleValue(u"speed"), 1.5) << "removal brings the registered default back";

        for (auto it = values.begin(); it != values.end(); ++it)
            defaults.setValue(it.key(), it.value());
        EXPECT_FALSE(defaults.setValue("gone", QJsonValue::Null));
        EXPECT_FALSE(defaults.hasStoredValue(u"gone"));
        defaults.update([](QJsonObject& stored) { stored.insert("enabled", QJsonValue::Null); });
        EXPECT_TRUE(defaults.boolValue(u"enabled")) << "a null left in the file means not set";
    }
    EXPECT_EQ(QFile::permissions(dir.filePath("defaults.json")),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    // Exactly the set values come back; registered defaults are never written.
    QJsonObject reloaded = UserDefaults(dir.path()).storedValues();
    reloaded.remove("enabled");
    EXPECT_EQ(reloaded, values);
}

TEST(UserDefaults, WrongTypedValuesNeverFailARead)
{
    EXPECT_EQ(UserDefaults::toDouble(QJsonValue("2.5")), 2.5);
    EXPECT_EQ(UserDefaults::toDouble(QJsonValue("fast")), 0);
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue(-4.9)), -4);
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue(1e300)), std::numeric_limits<qint64>::max());
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue("12")), 12);
    EXPECT_EQ(UserDefaults::toInteger(QJsonArray{1}), 0);
    EXPECT_TRUE(UserDefaults::toBool(QJsonValue("YES")));
    EXPECT_TRUE(UserDefaults::toBool(QJsonValue(2)));
    EXPECT_FALSE(UserDefaults::toBool(QJsonValue("no")));
    EXPECT_EQ(UserDefaults::toString(QJsonValue(5)), QString());
}

TEST(UserDefaults, CorruptFileIsMovedAsideAndRegisteredDefaultsApply)
{
    const std::pair<QByteArray, qint64> cases[] = {
        {"{\"speed\": 2.0,", 0},                      // not JSON
        {"[1, 2, 3]", 0},                             // not an object
        {"{}", UserDefaults::MaximumFileSize + 1},    // absurdly large (sparse)
    };
    for (const auto& [bytes, sparseSize] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeTestFile(path, bytes);
        if (sparseSize)
            QFile::resize(path, sparseSize);

        LogCapture log;
        UserDefaults defaults(dir.path());
        defaults.registerDefaults({{"speed", 1.5}});
        EXPECT_EQ(defaults.doubleValue(u"speed"), 1.5);
        EXPECT_TRUE(defaults.storedValues().isEmpty());
        EXPECT_FALSE(QFile::exists(path));
        const QStringList aside = corruptFiles(dir.path());
        ASSERT_EQ(aside.size(), 1);
        if (!sparseSize) {
            EXPECT_EQ(fileBytes(dir.filePath(aside.first())), bytes) << "the user's file is kept, not lost";
        }
        ASSERT_EQ(g_messages.size(), 1);
        EXPECT_TRUE(g_messages.first().startsWith("Velotap")) << g_messages.first().toStdString();

        // The program carries on and writes a fresh file.
        EXPECT_FALSE(defaults.setValue("speed", 2.0));
        EXPECT_EQ(fileContent(path).value("speed").toDouble(), 2.0);
    }
}

TEST(UserDefaults, ASecondWriterIsNeitherMissedNorUndone)
{
    QTemporaryDir dir;
    UserDefaults first(dir.path());
    UserDefaults second(dir.path());

    first.setValue("a", 1);
    second.setValue("b", 2); // the second writer read "a" before writing
    first.setValue("c", 3);  // and the first keeps "b"
    EXPECT_EQ(first.integerValue(u"b"), 2) << "a write loads the other writer's edit";
    EXPECT_EQ(fileContent(first.filePath()), (QJsonObject{{"a", 1}, {"b", 2}, {"c", 3}}));

    // A text editor rewriting the file in place.
    int notified = 0;
    first.addExternalChangeObserver([&] { ++notified; });
    const quint64 generation = first.generation();
    writeTestFile(first.filePath(), R"({"a": 1, "b": 2, "c": 3, "fromEditor": "yes", "padding": "longer file"})");
    EXPECT_TRUE(first.synchronize());
    EXPECT_EQ(first.stringValue(u"fromEditor"), "yes");
    EXPECT_GT(first.generation(), generation);
    EXPECT_EQ(notified, 1);
    EXPECT_FALSE(first.synchronize()) << "nothing changed since";

    // A read-modify-write of a nested value starts from the freshest file.
    second.update([](QJsonObject& stored) { stored.insert("profiles", QJsonObject{{"x", 1}}); });
    first.update([](QJsonObject& stored) {
        QJsonObject profiles = stored.value("profiles").toObject();
        profiles.insert("y", 2);
        stored.insert("profiles", profiles);
    });
    EXPECT_EQ(fileContent(first.filePath()),
              (QJsonObject{{"a", 1}, {"b", 2}, {"c", 3}, {"fromEditor", "yes"}, {"padding", "longer file"},
                           {"profiles", QJsonObject{{"x", 1}, {"y", 2}}}}));
}

TEST(UserDefaults, FileReplacedWhileRunningIsPickedUpByTheWatcher)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    defaults.setValue("speed", 1.0);
    defaults.watchForExternalChanges();

    // Replaced by rename, as atomic writers (and `velotap defaults`) do.
    QSaveFile replacement(defaults.filePath());
    ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
    replacement.write(R"({"speed": 4.0})");
    ASSERT_TRUE(replacement.commit());
    const QDeadlineTimer deadline(10000);
    while (defaults.doubleValue(u"speed") != 4.0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(defaults.doubleValue(u"speed"), 4.0);

    // A half-saved file while running: the last good values stay until we write.
    LogCapture log;
    writeTestFile(defaults.filePath(), R"({"speed": )");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.doubleValue(u"speed"), 4.0);
    EXPECT_EQ(g_messages.size(), 1);
    EXPECT_TRUE(corruptFiles(dir.path()).isEmpty());
    defaults.removeValue("neverSet"); // changes nothing, yet the good values go back to disk
    EXPECT_EQ(corruptFiles(dir.path()).size(), 1);
    EXPECT_EQ(fileContent(defaults.filePath()), (QJsonObject{{"speed", 4.0}}));
}

TEST(UserDefaults, AWriterKilledAtAnyMomentLeavesAWholeFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    for (int round = 0; round < 5; ++round) {
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            UserDefaults writer(dir.path());
            const QString padding(20000, QLatin1Char('x'));
            for (int i = 0;; ++i) {
                writer.setValue("counter", i);
                writer.setValue("padding", padding + QString::number(i));
                if (::write(pipeFds[1], "", 1) != 1) // one tick per round of writes
                    ::_exit(0);
            }
        }
        ::close(pipeFds[1]);
        char tick;
        for (int received = 0; received < 3 + round * 3; ++received)
            ASSERT_EQ(::read(pipeFds[0], &tick, 1), 1);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(pipeFds[0]);

        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(fileBytes(path), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << "round " << round;
        EXPECT_TRUE(document.object().contains("counter"));
    }
    // The killed writer's lock died with it and does not hold up the next one.
    LogCapture log;
    EXPECT_FALSE(UserDefaults(dir.path()).setValue("done", true));
    EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join('\n').toStdString();
    EXPECT_TRUE(corruptFiles(dir.path()).isEmpty());
}

TEST(UserDefaults, UnwritableLocationIsReportedButTheValueHolds)
{
    QTemporaryDir dir;
    writeTestFile(dir.filePath("notADirectory"), "x");
    LogCapture log;
    UserDefaults defaults(dir.filePath("notADirectory"));
    const std::optional<VTError> error = defaults.setValue("speed", 2.0);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "Velotap");
    EXPECT_EQ(defaults.doubleValue(u"speed"), 2.0);
    defaults.setValue("speed", 3.0);
    EXPECT_EQ(g_messages.size(), 1) << "logged once, not on every write";
}

// A save that could lose or hide someone's settings is refused and said so;
// the file stays as it was.
TEST(UserDefaults, SavesThatWouldLoseSettingsAreRefused)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    ASSERT_FALSE(defaults.setValue("speed", 2.0));
    const QByteArray saved = fileBytes(defaults.filePath());

    // Another writer holds the lock past the wait: writing now could undo its change.
    {
        const int fd = ::open(QFile::encodeName(defaults.filePath() + ".lock").constData(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        const std::optional<VTError> error = defaults.setValue("speed", 3.0);
        ::close(fd);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->description.contains("lock is held")) << error->description.toStdString();
        EXPECT_EQ(fileBytes(defaults.filePath()), saved);
    }

    // A file larger than a start would read is never written.
    const std::optional<VTError> tooLarge = defaults.setValue("note", QString(UserDefaults::MaximumFileSize, QLatin1Char('x')));
    ASSERT_TRUE(tooLarge.has_value());
    EXPECT_TRUE(tooLarge->description.contains("not saved"));
    EXPECT_EQ(fileBytes(defaults.filePath()), saved);
    EXPECT_EQ(UserDefaults(dir.path()).doubleValue(u"speed"), 2.0) << "the next start still reads the file";
}

} // namespace
