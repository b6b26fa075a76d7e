#include "tests/support/DbusDaemon.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/XEventRecorder.h"
#include "tests/support/XvfbServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The velotap executable started with no command, as the desktop entry
// starts it, on a private X server and session bus, with no system bus (so
// no logind) and no tray.
class DesktopApplicationTest : public ::testing::Test {
protected:
    XvfbServer server{1280, 800};
    DbusDaemon bus;
    QTemporaryDir config;
    FakeSysfs sysfs;
    std::vector<std::unique_ptr<QProcess>> processes;

    void SetUp() override
    {
        if (!server.isRunning())
            GTEST_SKIP() << "no Xvfb: " << server.error().toStdString();
        ASSERT_TRUE(bus.isRunning()) << bus.error().toStdString();
        writeDefaults({{"welcomeAcceptedVersion", VELOTAP_VERSION},
                       {"initialCompatibilityReportSent", true},
                       {"permissionsCompatibilityCheckPending", false}});
    }
    void TearDown() override
    {
        for (auto& process : processes) {
            // A finished process has the id 0, and kill(0, ...) would wake
            // every process of our group, also another test's stopped one.
            if (process->processId() > 0)
                ::kill(pid_t(process->processId()), SIGCONT);
            process->kill();
            process->waitForFinished(5000);
        }
    }

    void writeDefaults(const QJsonObject& values)
    {
        QFile file(config.filePath("defaults.json"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(values).toJson());
    }
    QJsonObject storedDefaults() const
    {
        QFile file(config.filePath("defaults.json"));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
    }

    QProcess& start(const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", QString::fromLatin1(server.displayName()));
        environment.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus.address()));
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        environment.insert("VELOTAP_CONFIG_DIR", config.path());
        environment.insert("VELOTAP_SYSFS_ROOT", sysfs.sysfs());
        environment.insert("VELOTAP_DEV_ROOT", sysfs.dev());
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("WAYLAND_DISPLAY");
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(VELOTAP_EXECUTABLE, arguments);
        process->waitForStarted(10000);
        processes.push_back(std::move(process));
        return *processes.back();
    }
    // How many mapped windows of the X server have exactly this title.
    int windowsTitled(const QString& title)
    {
        QString output;
        server.runClient("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}, &output);
        return int(output.split('\n', Qt::SkipEmptyParts).size());
    }
    static bool waitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 15000); }
    static QByteArray errorOutput(QProcess& process) { return process.readAllStandardError(); }
    // The state letter of /proc/PID/stat ('T' once stopped).
    static char processState(qint64 pid)
    {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return '?';
        const QByteArray text = stat.readAll();
        const qsizetype end = text.lastIndexOf(')');
        return end >= 0 && end + 2 < text.size() ? text.at(end + 2) : '?';
    }
};

} // namespace

TEST_F(DesktopApplicationTest, ASecondLaunchActivatesTheFirstOrOpensTheDebugWindowAndAHungFirstIsGivenUpOn)
{
    QProcess& first = start();
    ASSERT_TRUE(waitFor([&] { return windowsTitled("Velotap") > 0; })) << errorOutput(first).toStdString();
    QByteArray firstLog;

    QProcess& second = start();
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(waitFor([&] {
        firstLog += first.readAllStandardError();
        return firstLog.contains("asked to come forward");
    })) << firstLog.toStdString();
    EXPECT_EQ(windowsTitled("Velotap"), 1);

    // The debug reports option opens its window in the running instance;
    // only that window was asked for: the first-run keys stay as they were.
    QProcess& debug = start({"--debug-reports"});
    ASSERT_TRUE(debug.waitForFinished(15000));
    EXPECT_EQ(debug.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return windowsTitled("Velotap Debug Reports") == 1; })) << firstLog.toStdString();
    EXPECT_EQ(storedDefaults().value("initialCompatibilityReportSent"), QJsonValue(true));

    // The pointer option has no menu item either: it reaches the running instance.
    QProcess& pointer = start({"--toggle-pointer"});
    ASSERT_TRUE(pointer.waitForFinished(15000));
    EXPECT_EQ(pointer.exitCode(), 0);
    EXPECT_TRUE(waitFor([&] { return storedDefaults().value("hideCursor") == QJsonValue(true); }));

    // A first instance that holds the name but never answers.
    ::kill(pid_t(first.processId()), SIGSTOP);
    ASSERT_TRUE(waitFor([&] { return processState(first.processId()) == 'T'; }));
    QElapsedTimer timer;
    timer.start();
    QProcess& third = start();
    ASSERT_TRUE(third.waitForFinished(20000));
    EXPECT_LT(timer.elapsed(), 12000);
    const QByteArray thirdLog = errorOutput(third);
    EXPECT_EQ(third.exitCode(), 1) << thirdLog.toStdString();
    EXPECT_TRUE(thirdLog.contains("already running but does not answer")) << thirdLog.toStdString();
    ::kill(pid_t(first.processId()), SIGCONT);

    // Logging out ends it like Quit.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    // With no instance running, the option starts one showing the window.
    ASSERT_TRUE(waitFor([&] { return windowsTitled("Velotap Debug Reports") == 0; }));
    QProcess& alone = start({"--debug-reports"});
    EXPECT_TRUE(waitFor([&] { return windowsTitled("Velotap Debug Reports") == 1; })) << errorOutput(alone).toStdString();
    EXPECT_EQ(alone.state(), QProcess::Running);
}

TEST_F(DesktopApplicationTest, FirstInstallOptionBringsBackTheWelcome)
{
    QProcess& velotap = start({"-firstinstall"});
    ASSERT_TRUE(waitFor([&] { return windowsTitled("Welcome to Velotap") == 1; })) << errorOutput(velotap).toStdString();
    const QJsonObject stored = storedDefaults();
    EXPECT_FALSE(stored.contains("welcomeAcceptedVersion"));
    EXPECT_EQ(stored.value("initialCompatibilityReportSent"), QJsonValue(false));
    EXPECT_EQ(stored.value("permissionsCompatibilityCheckPending"), QJsonValue(false));
    velotap.terminate();
    ASSERT_TRUE(velotap.waitForFinished(10000));
    EXPECT_EQ(velotap.exitCode(), 0);

    QProcess& unknown = start({"--no-such-option"});
    ASSERT_TRUE(unknown.waitForFinished(10000));
    EXPECT_EQ(unknown.exitCode(), 2);
}

TEST_F(DesktopApplicationTest, TouchOnASimulatedDisplayAndQuitLeavesNothingPressed)
{
    sysfs.add({.hidraw = QStringLiteral("hidraw0")});
    // The display's node: a pipe the test writes reports into.
    const QByteArray node = QFile::encodeName(sysfs.dev() + "/hidraw0");
    ::unlink(node.constData());
    ASSERT_EQ(::mkfifo(node.constData(), 0600), 0);
    const int display = ::open(node.constData(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(display, 0);
    QString error;
    auto recorder = XEventRecorder::open(server.displayName(), &error);
    ASSERT_TRUE(recorder) << error.toStdString();

    QProcess& velotap = start();
    QByteArray log;
    ASSERT_TRUE(waitFor([&] {
        log += velotap.readAllStandardError();
        return log.contains("Velotap touch: Touch active");
    })) << log.toStdString();

    // One finger held at 400/4095 of the width and height: the left button goes down.
    const char held[] = {2, 1, 1, char(400 & 0xFF), char(400 >> 8), char(400 & 0xFF), char(400 >> 8), 1};
    ASSERT_TRUE(recorder->waitUntil(
        [&](const XEventRecorder& r) {
            [[maybe_unused]] const ssize_t written = ::write(display, held, sizeof held);
            return !r.pressesOf(1).empty();
        },
        10000));
    EXPECT_FALSE(recorder->nothingHeld());

    velotap.terminate();
    ASSERT_TRUE(velotap.waitForFinished(10000));
    recorder->waitUntil([](const XEventRecorder& r) { return r.nothingHeld(); }, 5000);
    EXPECT_TRUE(recorder->nothingHeld());
    ::close(display);
}
