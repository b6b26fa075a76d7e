#include "base/UserDefaults.h"

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
#include <limits>
#include <sys/wait.h>
#include <unistd.h>

inline void PrintTo(const QJsonObject& object, std::ostream* os)
{
    *os << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

namespace {

QStringList g_messages;

void collectMessage(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_messages.append(message);
}

// Captures the log lines written while it lives.
struct LogCapture {
    LogCapture()
    {
        g_messages.clear();
        m_previous = qInstallMessageHandler(collectMessage);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    QtMessageHandler m_previous;
};

QJsonObject fileContent(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void writeRaw(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList corruptFiles(const QString& directory)
{
    return QDir(directory).entryList({QStringLiteral("defaults.json.corrupt-*")}, QDir::Files);
}

TEST(UserDefaults, RegisteredDefaultsRemovalAndValueTypesSurviveTheFile)
{
    QTemporaryDir dir;
    const qint64 bigFlags = std::numeric_limits<qint64>::max();
    const qint64 beyondDouble = (qint64(1) << 53) + 1;
    {
        UserDefaults defaults(dir.path());
        defaults.registerDefaults({{"speed", 1.5}, {"enabled", true}, {"scale", 2.0}});
        EXPECT_EQ(defaults.value(u"speed").toDouble(), 1.5);
        EXPECT_FALSE(QFile::exists(defaults.filePath())) << "reads and registering never write";

        EXPECT_FALSE(defaults.setValue("speed", 3.0));
        EXPECT_EQ(defaults.doubleValue(u"speed"), 3.0);
        EXPECT_FALSE(defaults.removeValue("speed"));
        EXPECT_EQ(defaults.doubleValue(u"speed"), 1.5) << "removal brings the registered default back";

        defaults.setValue("flags", bigFlags);
        defaults.setValue("odd", beyondDouble);
        defaults.setValue("flag", false);
        defaults.setValue("label", QStringLiteral("⌘⇧ Ä"));
        defaults.setValue("fraction", 0.1);
        defaults.setValue("nested", QJsonObject{{"Work", QJsonObject{{"a", 1}}}, {"list", QJsonArray{1, "x"}}});
        EXPECT_FALSE(defaults.setValue("gone", QJsonValue::Null));
        EXPECT_FALSE(defaults.hasStoredValue(u"gone"));
        defaults.update([](QJsonObject& stored) { stored.insert("enabled", QJsonValue::Null); });
        EXPECT_TRUE(defaults.boolValue(u"enabled")) << "a null left in the file means not set";
    }
    const QJsonObject onDisk = fileContent(dir.filePath("defaults.json"));
    EXPECT_FALSE(onDisk.contains("speed"));
    EXPECT_FALSE(onDisk.contains("scale")) << "registered defaults are never written";
    EXPECT_EQ(QFile::permissions(dir.filePath("defaults.json")), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                  | QFileDevice::ReadUser | QFileDevice::WriteUser);

    UserDefaults reloaded(dir.path());
    EXPECT_EQ(reloaded.integerValue(u"flags"), bigFlags);
    EXPECT_EQ(reloaded.integerValue(u"odd"), beyondDouble);
    EXPECT_TRUE(reloaded.value(u"flag").isBool());
    EXPECT_FALSE(reloaded.boolValue(u"flag"));
    EXPECT_EQ(reloaded.stringValue(u"label"), QStringLiteral("⌘⇧ Ä"));
    EXPECT_EQ(reloaded.doubleValue(u"fraction"), 0.1);
    EXPECT_EQ(reloaded.value(u"nested").toObject().value("Work").toObject().value("a").toInt(), 1);
    EXPECT_EQ(reloaded.value(u"nested").toObject().value("list").toArray().at(1).toString(), "x");
}

TEST(UserDefaults, WrongTypedValuesNeverFailARead)
{
    EXPECT_EQ(UserDefaults::toDouble(QJsonValue("2.5")), 2.5);
    EXPECT_EQ(UserDefaults::toDouble(QJsonValue("fast")), 0);
    EXPECT_EQ(UserDefaults::toDouble(QJsonValue(true)), 1);
    EXPECT_EQ(UserDefaults::toDouble(QJsonObject{}), 0);
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue(4.9)), 4);
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue(-4.9)), -4);
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue(1e300)), std::numeric_limits<qint64>::max());
    EXPECT_EQ(UserDefaults::toInteger(QJsonValue("12")), 12);
    EXPECT_EQ(UserDefaults::toInteger(QJsonArray{1}), 0);
    EXPECT_TRUE(UserDefaults::toBool(QJsonValue("YES")));
    EXPECT_TRUE(UserDefaults::toBool(QJsonValue(2)));
    EXPECT_FALSE(UserDefaults::toBool(QJsonValue("no")));
    EXPECT_FALSE(UserDefaults::toBool(QJsonValue::Undefined));
    EXPECT_EQ(UserDefaults::toString(QJsonValue(5)), QString());
}

TEST(UserDefaults, CorruptFileIsMovedAsideAndRegisteredDefaultsApply)
{
    struct Case {
        const char* name;
        QByteArray bytes;
        qint64 sparseSize;
    };
    const Case cases[] = {
        {"not JSON", "{\"speed\": 2.0,", 0},
        {"not an object", "[1, 2, 3]", 0},
        {"absurdly large", "{}", UserDefaults::MaximumFileSize + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeRaw(path, c.bytes);
        if (c.sparseSize)
            QFile::resize(path, c.sparseSize);

        LogCapture log;
        UserDefaults defaults(dir.path());
        defaults.registerDefaults({{"speed", 1.5}});
        EXPECT_EQ(defaults.doubleValue(u"speed"), 1.5);
        EXPECT_TRUE(defaults.storedValues().isEmpty());
        EXPECT_FALSE(QFile::exists(path));
        const QStringList aside = corruptFiles(dir.path());
        ASSERT_EQ(aside.size(), 1);
        if (!c.sparseSize) {
            QFile kept(dir.filePath(aside.first()));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), c.bytes) << "the user's file is kept, not lost";
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
    const QJsonObject onDisk = fileContent(first.filePath());
    EXPECT_EQ(onDisk, (QJsonObject{{"a", 1}, {"b", 2}, {"c", 3}}));

    // A text editor rewriting the file in place.
    int notified = 0;
    first.addExternalChangeObserver([&] { ++notified; });
    const quint64 generation = first.generation();
    writeRaw(first.filePath(), R"({"a": 1, "b": 2, "c": 3, "fromEditor": "yes", "padding": "longer file"})");
    EXPECT_TRUE(first.synchronize());
    EXPECT_EQ(first.stringValue(u"fromEditor"), "yes");
    EXPECT_GT(first.generation(), generation);
    EXPECT_EQ(notified, 1);
    EXPECT_FALSE(first.synchronize()) << "nothing changed since";

    // A read-modify-write of a nested value starts from the freshest file.
    second.update([](QJsonObject& stored) { stored.insert("profiles", QJsonObject{{"Work", QJsonObject{{"x", 1}}}}); });
    first.update([](QJsonObject& stored) {
        QJsonObject profiles = stored.value("profiles").toObject();
        QJsonObject work = profiles.value("Work").toObject();
        work.insert("y", 2);
        profiles.insert("Work", work);
        stored.insert("profiles", profiles);
    });
    EXPECT_EQ(fileContent(first.filePath()).value("profiles").toObject().value("Work").toObject(),
              (QJsonObject{{"x", 1}, {"y", 2}}));
    EXPECT_EQ(fileContent(first.filePath()).value("fromEditor").toString(), "yes");
}

TEST(UserDefaults, FileReplacedWhileRunningIsPickedUpByTheWatcher)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    defaults.setValue("speed", 1.0);
    defaults.watchForExternalChanges();

    // Replaced by rename, as atomic writers (and `velotap defaults`) do.
    {
        QSaveFile replacement(defaults.filePath());
        ASSERT_TRUE(replacement.open(QIODevice::WriteOnly));
        replacement.write(R"({"speed": 4.0})");
        ASSERT_TRUE(replacement.commit());
    }
    const QDeadlineTimer deadline(10000);
    while (defaults.doubleValue(u"speed") != 4.0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(defaults.doubleValue(u"speed"), 4.0);

    // A half-saved file while running: the last good values stay until we write.
    LogCapture log;
    writeRaw(defaults.filePath(), R"({"speed": )");
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.doubleValue(u"speed"), 4.0);
    EXPECT_EQ(g_messages.size(), 1);
    EXPECT_TRUE(corruptFiles(dir.path()).isEmpty());
    defaults.removeValue("neverSet"); // changes nothing, yet the good values go back to disk
    EXPECT_EQ(corruptFiles(dir.path()).size(), 1);
    EXPECT_EQ(fileContent(defaults.filePath()), (QJsonObject{{"speed", 4.0}}));
    defaults.setValue("other", true);
    EXPECT_EQ(fileContent(defaults.filePath()), (QJsonObject{{"speed", 4.0}, {"other", true}}));
}

TEST(UserDefaults, InterruptedWritesLeaveTheOldOrTheNewFile)
{
    QTemporaryDir dir;
    {
        UserDefaults defaults(dir.path());
        defaults.setValue("speed", 1.0);
    }
    // A writer that never commits (crashed before the rename).
    {
        QSaveFile torn(dir.filePath("defaults.json"));
        ASSERT_TRUE(torn.open(QIODevice::WriteOnly));
        torn.write(R"({"speed": 9)");
    }
    EXPECT_EQ(UserDefaults(dir.path()).doubleValue(u"speed"), 1.0);

    // A writer killed at arbitrary moments: the file always parses.
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
                const char tick = 1;
                if (::write(pipeFds[1], &tick, 1) != 1)
                    ::_exit(0);
            }
        }
        ::close(pipeFds[1]);
        char ticks[16];
        qint64 received = 0;
        while (received < 3 + round * 3) {
            const ssize_t n = ::read(pipeFds[0], ticks, sizeof ticks);
            ASSERT_GT(n, 0);
            received += n;
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(pipeFds[0]);

        QFile file(dir.filePath("defaults.json"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << "round " << round;
        EXPECT_TRUE(document.object().contains("counter"));
    }
    // The killed writer's lock died with it and does not hold up the next one.
    LogCapture log;
    UserDefaults after(dir.path());
    EXPECT_FALSE(after.setValue("done", true));
    EXPECT_TRUE(g_messages.isEmpty()) << g_messages.join('\n').toStdString();
    EXPECT_TRUE(corruptFiles(dir.path()).isEmpty());
}

TEST(UserDefaults, UnwritableLocationIsReportedButTheValueHolds)
{
    QTemporaryDir dir;
    writeRaw(dir.filePath("notADirectory"), "x");
    LogCapture log;
    UserDefaults defaults(dir.filePath("notADirectory"));
    const std::optional<VTError> error = defaults.setValue("speed", 2.0);
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->domain, "Velotap");
    EXPECT_EQ(defaults.doubleValue(u"speed"), 2.0);
    defaults.setValue("speed", 3.0);
    EXPECT_EQ(g_messages.size(), 1) << "logged once, not on every write";
}

} // namespace
