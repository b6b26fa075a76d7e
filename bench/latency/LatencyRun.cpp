#include "bench/latency/LatencyRun.h"

#include "bench/latency/ArrivalRecorder.h"
#include "bench/latency/ChildProcess.h"
#include "tests/support/SyntheticTouchDisplay.h"

#include <X11/Xlib.h>

#include <QHash>

#include <cerrno>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kMs = 1'000'000;

// Closes after the child it is declared before has been ended, so the
// child never sees its device go away.
struct SocketGuard {
    int fd;
    ~SocketGuard() { ::close(fd); }
};

void sleepUntil(std::int64_t ns)
{
    const timespec at{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// A scenario's reports, and which of them ends each frame.
struct Script {
    std::vector<QByteArray> reports;
    std::vector<std::size_t> lastOfFrame;

    Script(const Scenario& scenario, int frames)
    {
        const SyntheticTouchDisplay display(scenario.slotCount);
        for (int k = 0; k < frames; ++k) {
            for (const QByteArray& report : display.reportsForFrame(scenario.frame(k)))
                reports.push_back(report);
            lastOfFrame.push_back(reports.size() - 1);
        }
    }
};

// Sends each report at its time on the rate's grid; when each went.
std::vector<std::int64_t> playOnTime(int fd, const std::vector<QByteArray>& reports, int rate)
{
    std::vector<std::int64_t> sent(reports.size());
    const std::int64_t period = 1'000'000'000 / rate;
    const std::int64_t start = monotonicNs() + 20 * kMs;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        sleepUntil(start + std::int64_t(i) * period);
        sent[i] = monotonicNs();
        (void)::send(fd, reports[i].constData(), std::size_t(reports[i].size()), 0);
    }
    return sent;
}

// Latencies of the frames whose event arrived, in microseconds.
std::vector<double> matchArrivals(const Scenario& scenario, const std::vector<std::int64_t>& frameSent,
                                  const std::vector<Arrival>& arrivals)
{
    std::vector<double> latencies;
    const int frames = int(frameSent.size());
    if (scenario.gesture == Scenario::Drag) {
        // Every frame of a drag is at a pixel of its own.
        QHash<QPoint, int> frameAt;
        for (int k = 0; k < frames; ++k)
            frameAt.insert(scenario.frame(k).first(), k);
        for (const Arrival& a : arrivals) {
            if (a.kind != Arrival::Motion)
                continue;
            const auto it = frameAt.find(QPoint(a.x, a.y));
            if (it == frameAt.end())
                continue;
            latencies.push_back(double(a.ns - frameSent[std::size_t(it.value())]) / 1000.0);
            frameAt.erase(it);
        }
    } else {
        // The first frame anchors the scroll; each later one turns the wheel
        // once. Steps beyond the frames are inertia after the lift.
        int frame = 1;
        for (const Arrival& a : arrivals) {
            if (a.kind == Arrival::Button && (a.button == 4 || a.button == 5) && frame < frames)
                latencies.push_back(double(a.ns - frameSent[std::size_t(frame++)]) / 1000.0);
        }
    }
    return latencies;
}

} // namespace

void LatencyRun::parkPointer()
{
    XWarpPointer(m_control, None, DefaultRootWindow(m_control), 0, 0, 0, 0, 5, 5);
    XSync(m_control, False);
    sleepUntil(monotonicNs() + 100 * kMs);
    m_recorder.take();
}

RunResult LatencyRun::run(const Scenario& scenario, Role role, double seconds)
{
    RunResult result;
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
        result.failure = QStringLiteral("socketpair failed");
        return result;
    }
    const SocketGuard writer{sockets[0]};
    const QByteArray fd = QByteArray::number(sockets[1]);
    const QByteArray slotCount = QByteArray::number(scenario.slotCount);
    const QByteArray gesture = scenario.gesture == Scenario::Drag ? "drag" : "scroll";
    ChildProcess child(role == Floor ? QList<QByteArray>{"velotap_latency", "--poster", fd, m_displayName, slotCount, gesture}
                                     : QList<QByteArray>{"velotap_latency", "--pipeline", fd, m_displayName, slotCount},
                       sockets[1]);
    ::close(sockets[1]);
    if (!child.waitUntilReady(10000)) {
        result.failure = QStringLiteral("the %1 process did not start").arg(role == Floor ? "floor" : "Velotap");
        return result;
    }
    parkPointer();

    const int frames = std::max(2, int(seconds * scenario.rate) / scenario.reportsPerFrame());
    const Script script(scenario, frames);
    const std::int64_t cpuBefore = child.cpuNs();
    const std::vector<std::int64_t> sent = playOnTime(writer.fd, script.reports, scenario.rate);
    sleepUntil(sent.back() + 50 * kMs);
    result.cpuNs = child.cpuNs() - cpuBefore;
    result.residentKiB = child.residentKiB();
    result.peakResidentKiB = child.peakResidentKiB();
    result.reports = int(script.reports.size());

    for (const QByteArray& lift : SyntheticTouchDisplay(scenario.slotCount).reportsForFrame({}))
        (void)::send(writer.fd, lift.constData(), std::size_t(lift.size()), 0);
    sleepUntil(monotonicNs() + 200 * kMs);

    std::vector<std::int64_t> frameSent;
    for (std::size_t last : script.lastOfFrame)
        frameSent.push_back(sent[last]);
    result.frames = scenario.gesture == Scenario::Drag ? frames : frames - 1;
    result.latenciesUs = matchArrivals(scenario, frameSent, m_recorder.take());
    return result;
}
