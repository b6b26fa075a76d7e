// End-to-end latency and cost of the touch path under Xvfb, against the
// floor of the X path itself, and how closely a real-time replay keeps time.
// Run by `make bench-latency`; --help for the options.
#include "bench/latency/ArrivalRecorder.h"
#include "bench/latency/LatencyRun.h"
#include "bench/latency/Roles.h"
#include "bench/latency/Scenario.h"
#include "tests/support/XvfbServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct Options {
    double seconds = 3.0;
    int repeat = 1;
    QString only;
    QString recording;
    bool replay = true;
};

struct Pooled {
    std::vector<double> latenciesUs;
    int frames = 0;
    int reports = 0;
    std::int64_t cpuNs = 0;
    qint64 residentKiB = 0;
    qint64 peakResidentKiB = 0;
    QString failure;

    void add(const RunResult& r)
    {
        latenciesUs.insert(latenciesUs.end(), r.latenciesUs.begin(), r.latenciesUs.end());
        frames += r.frames;
        reports += r.reports;
        cpuNs += r.cpuNs;
        residentKiB = std::max(residentKiB, r.residentKiB);
        peakResidentKiB = std::max(peakResidentKiB, r.peakResidentKiB);
        if (failure.isEmpty())
            failure = r.failure;
    }
    // Nearest rank; NaN without samples.
    double percentile(double q) const
    {
        if (latenciesUs.empty())
            return std::nan("");
        std::vector<double> sorted = latenciesUs;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t rank = std::size_t(std::ceil(q * double(sorted.size())));
        return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
    }
    double cpuUsPerReport() const { return reports > 0 ? double(cpuNs) / 1000.0 / reports : std::nan(""); }
};

QString number(double value, int decimals = 0)
{
    return std::isnan(value) ? QStringLiteral("-") : QString::number(value, 'f', decimals);
}

QString loadText()
{
    double load[3] = {};
    return getloadavg(load, 3) == 3 ? QStringLiteral("%1 %2 %3").arg(load[0], 0, 'f', 2).arg(load[1], 0, 'f', 2).arg(load[2], 0, 'f', 2)
                                    : QStringLiteral("unknown");
}

void printRow(const QStringList& cells, const QList<int>& widths)
{
    QString line;
    for (qsizetype i = 0; i < cells.size(); ++i)
        line += i == 0 ? cells[i].leftJustified(widths[i]) : QStringLiteral("  ") + cells[i].rightJustified(widths[i]);
    std::printf("%s\n", qPrintable(line));
}

void printTables(const QList<Scenario>& scenarios, const QMap<QString, Pooled>& floor, const QMap<QString, Pooled>& velotap)
{
    std::printf("\nLatency from a report written into the device socket to its event at the X client, microseconds.\n"
                "floor: the same events posted straight through XTest by a minimal reader; added: Velotap - floor;\n"
                "x: Velotap / floor. events: frames whose event arrived / frames.\n\n");
    const QList<int> w = {20, 9, 9, 5, 5, 7, 5, 5, 5, 5, 5, 5, 5};
    printRow({"scenario", "events", "floor p50", "p99", "max", "Velotap", "p99", "max", "added", "p99", "max", "x p50", "x p99"}, w);
    for (const Scenario& s : scenarios) {
        const Pooled& f = floor[s.name()];
        const Pooled& v = velotap[s.name()];
        if (!v.failure.isEmpty() || !f.failure.isEmpty()) {
            std::printf("%-22s %s\n", qPrintable(s.name()), qPrintable(v.failure.isEmpty() ? f.failure : v.failure));
            continue;
        }
        const double fp[3] = {f.percentile(0.5), f.percentile(0.99), f.percentile(1.0)};
        const double vp[3] = {v.percentile(0.5), v.percentile(0.99), v.percentile(1.0)};
        printRow({s.name(), QStringLiteral("%1/%2").arg(v.latenciesUs.size()).arg(v.frames), number(fp[0]), number(fp[1]),
                  number(fp[2]), number(vp[0]), number(vp[1]), number(vp[2]), number(vp[0] - fp[0]), number(vp[1] - fp[1]),
                  number(vp[2] - fp[2]), number(vp[0] / fp[0], 2), number(vp[1] / fp[1], 2)},
                 w);
    }
    std::printf("\nCost of the Velotap process (user + system time while the reports came; resident memory):\n\n");
    const QList<int> c = {20, 13, 11, 12, 7, 8};
    printRow({"scenario", "CPU us/report", "% of a core", "floor us/rep", "RSS MiB", "peak MiB"}, c);
    for (const Scenario& s : scenarios) {
        const Pooled& f = floor[s.name()];
        const Pooled& v = velotap[s.name()];
        const double perReport = v.cpuUsPerReport();
        printRow({s.name(), number(perReport, 1), number(perReport * s.rate / 1e4, 3), number(f.cpuUsPerReport(), 1),
                  number(v.residentKiB / 1024.0, 1), number(v.peakResidentKiB / 1024.0, 1)},
                 c);
    }
}

QString defaultRecording()
{
    QString data = qEnvironmentVariable("VELOTAP_SHARED_DATA");
    if (data.isEmpty())
        data = QStringLiteral(VELOTAP_SOURCE_DIR "/../shared/data");
    return QDir(data).filePath(QStringLiteral("real-descriptors/recordings/rafi_05bd_0107.hid"));
}

// `velotap replay` of a real recording, posting for real into the server.
void measureReplay(const QByteArray& displayName, const QString& recording)
{
    std::printf("\nReplay in real time: %s\n", qPrintable(recording));
    if (!QFile::exists(recording)) {
        std::printf("  skipped: no such file (set VELOTAP_SHARED_DATA or --recording)\n");
        return;
    }
    QTemporaryDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(displayName));
    environment.insert(QStringLiteral("VELOTAP_CONFIG_DIR"), config.path());
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcess velotap;
    velotap.setProcessEnvironment(environment);
    velotap.start(QStringLiteral(VELOTAP_EXECUTABLE), {QStringLiteral("replay"), recording, QStringLiteral("--events-only")});
    if (!velotap.waitForFinished(-1) || velotap.exitCode() != 0) {
        std::printf("  failed: %s\n", velotap.readAllStandardError().constData());
        return;
    }
    const QString output = QString::fromLocal8Bit(velotap.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(
        QStringLiteral("(\\d+) reports replayed in ([0-9.]+) s \\(recorded ([0-9.]+) s\\), at most ([0-9.]+) ms behind")).match(output);
    if (!m.hasMatch()) {
        std::printf("  no timing in its output:\n%s\n", qPrintable(output));
        return;
    }
    const double drift = (m.captured(2).toDouble() - m.captured(3).toDouble()) * 1000.0;
    std::printf("  %s reports over %s s recorded took %s s: drift %+.1f ms; the latest report was %s ms behind\n",
                qPrintable(m.captured(1)), qPrintable(m.captured(3)), qPrintable(m.captured(2)), drift,
                qPrintable(m.captured(4)));
}

int usage()
{
    std::fprintf(stderr,
                 "usage: velotap_latency [--seconds S] [--repeat N] [--only TEXT] [--recording FILE] [--no-replay]\n"
                 "  --seconds S      reports per run: S seconds' worth (default 3)\n"
                 "  --repeat N       run every scenario N times and pool the samples (default 1)\n"
                 "  --only TEXT      only scenarios whose name contains TEXT, e.g. \"scroll 240\"\n"
                 "  --recording FILE the recording the real-time replay plays\n"
                 "  --no-replay      leave out the real-time replay (60 s)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() >= 4 && args[0] == QLatin1String("--pipeline"))
        return runVelotapPipeline(args[1].toInt(), args[2].toLatin1(), args[3].toInt());
    if (args.size() >= 5 && args[0] == QLatin1String("--poster"))
        return runMinimalPoster(args[1].toInt(), args[2].toLatin1(), args[3].toInt(), args[4] == QLatin1String("scroll"));

    Options options;
    options.recording = defaultRecording();
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--seconds") && hasValue)
            options.seconds = std::clamp(args[++i].toDouble(), 0.1, 600.0);
        else if (a == QLatin1String("--repeat") && hasValue)
            options.repeat = std::clamp(args[++i].toInt(), 1, 100);
        else if (a == QLatin1String("--only") && hasValue)
            options.only = args[++i];
        else if (a == QLatin1String("--recording") && hasValue)
            options.recording = args[++i];
        else if (a == QLatin1String("--no-replay"))
            options.replay = false;
        else
            return usage();
    }

    XvfbServer server(1920, 1080);
    if (!server.isRunning()) {
        std::fprintf(stderr, "velotap_latency: %s\n", qPrintable(server.error()));
        return 1;
    }
    QString error;
    std::unique_ptr<ArrivalRecorder> recorder = ArrivalRecorder::open(server.displayName(), &error);
    Display* control = XOpenDisplay(server.displayName().constData());
    if (!recorder || !control) {
        std::fprintf(stderr, "velotap_latency: %s\n", qPrintable(error));
        return 1;
    }

    QList<Scenario> scenarios;
    for (const Scenario& s : allScenarios())
        if (s.name().contains(options.only))
            scenarios.append(s);
    std::printf("Xvfb %s 1920x1080, %d scenario(s) x %d, %.1f s of reports each; load average %s\n",
                server.displayName().constData(), int(scenarios.size()), options.repeat, options.seconds,
                qPrintable(loadText()));
    std::fflush(stdout);

    LatencyRun runner(server.displayName(), *recorder, control);
    QMap<QString, Pooled> floor, velotap;
    for (int r = 0; r < options.repeat; ++r) {
        for (const Scenario& s : scenarios) {
            // Alternating keeps a change in the machine's load from favouring either.
            floor[s.name()].add(runner.run(s, LatencyRun::Floor, options.seconds));
            velotap[s.name()].add(runner.run(s, LatencyRun::Velotap, options.seconds));
        }
    }
    printTables(scenarios, floor, velotap);
    std::printf("\nload average after the runs: %s\n", qPrintable(loadText()));
    std::fflush(stdout);

    if (options.replay)
        measureReplay(server.displayName(), options.recording);
    recorder.reset();
    XCloseDisplay(control);
    return 0;
}
