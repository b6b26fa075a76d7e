// `make bench-app`: how long `velotap` takes from its start until its status
// menu is shown, and how much memory it holds after a minute of idling with
// touch running on a simulated display. Runs the real executable on a
// private Xvfb and session bus.
#include "tests/support/DbusDaemon.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Setup {
    XvfbServer server{1920, 1080};
    DbusDaemon bus;
    QTemporaryDir config;
    FakeSysfs sysfs;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromLatin1(server.displayName()));
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(bus.address()));
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
        env.insert("VELOTAP_CONFIG_DIR", config.path());
        env.insert("VELOTAP_SYSFS_ROOT", sysfs.sysfs());
        env.insert("VELOTAP_DEV_ROOT", sysfs.dev());
        // The service is not asked: a refused connection answers at once.
        env.insert("QT_LOGGING_RULES", "velotap.app.debug=true");
        env.remove("QT_QPA_PLATFORM");
        env.remove("WAYLAND_DISPLAY");
        return env;
    }
};

// Runs the event loop of this process until the child wrote `text` to its error output.
bool waitForLine(QProcess& process, QByteArray& log, const char* text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!log.contains(text)) {
        if (timer.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(20);
        log += process.readAllStandardError();
    }
    return true;
}

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(10000))
        process.kill();
}

qint64 residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int idleSeconds = 60;
    int runs = 7;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--idle-seconds"))
            idleSeconds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            runs = std::max(1, args[i + 1].toInt());
    }

    Setup setup;
    if (!setup.server.isRunning() || !setup.bus.isRunning()) {
        std::fprintf(stderr, "cannot start Xvfb or dbus-daemon\n");
        return 1;
    }
    QFile defaults(setup.config.filePath("defaults.json"));
    if (!defaults.open(QIODevice::WriteOnly))
        return 1;
    defaults.write(QJsonDocument(QJsonObject{{"welcomeAcceptedVersion", VELOTAP_VERSION},
                                             {"initialCompatibilityReportSent", true},
                                             {"apiBaseURL", "http://127.0.0.1:9/"}})
                       .toJson());
    defaults.close();
    setup.sysfs.add({.hidraw = QStringLiteral("hidraw0")});
    const QByteArray node = QFile::encodeName(setup.sysfs.dev() + "/hidraw0");
    ::unlink(node.constData());
    ::mkfifo(node.constData(), 0600);
    const int display = ::open(node.constData(), O_RDWR | O_NONBLOCK);

    // Start-up: process start to the status menu shown (here in its window: Xvfb has no tray).
    std::vector<qint64> startMs;
    for (int run = 0; run < runs; ++run) {
        QProcess velotap;
        velotap.setProcessEnvironment(setup.environment());
        QElapsedTimer timer;
        timer.start();
        velotap.start(VELOTAP_EXECUTABLE, {});
        QByteArray log;
        if (!waitForLine(velotap, log, "status menu shown", 20000)) {
            std::fprintf(stderr, "velotap did not show its menu:\n%s\n", log.constData());
            return 1;
        }
        startMs.push_back(timer.elapsed());
        stop(velotap);
    }
    std::sort(startMs.begin(), startMs.end());
    std::printf("start to status menu shown: median %lld ms, fastest %lld ms, slowest %lld ms (%d runs)\n",
                static_cast<long long>(startMs[startMs.size() / 2]), static_cast<long long>(startMs.front()),
                static_cast<long long>(startMs.back()), runs);
    std::fflush(stdout);

    // Footprint: touch running on the simulated display, then idle.
    QProcess velotap;
    velotap.setProcessEnvironment(setup.environment());
    velotap.start(VELOTAP_EXECUTABLE, {});
    QByteArray log;
    if (!waitForLine(velotap, log, "Velotap touch: Touch active", 20000)) {
        std::fprintf(stderr, "touch did not start:\n%s\n", log.constData());
        return 1;
    }
    const qint64 atStart = residentKiB(velotap.processId());
    QThread::sleep(static_cast<unsigned long>(idleSeconds));
    const qint64 afterIdle = residentKiB(velotap.processId());
    std::printf("resident memory with touch running: %.1f MiB at start, %.1f MiB after %d s idle\n",
                atStart / 1024.0, afterIdle / 1024.0, idleSeconds);
    stop(velotap);
    ::close(display);
    return 0;
}
