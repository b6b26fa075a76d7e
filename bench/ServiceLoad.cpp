// Load on the reference service: 50 clients, each on its own keep-alive
// connection, post typical compatibility reports as fast as they are
// answered. Prints reports per second, latency percentiles, and checks that
// every acknowledged report is in the database.
//
//   velotap_service_load [--benchmark_...] (velotap-service is started on a free port)
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Clients = 50;

std::string serviceExecutable() { return VELOTAP_SERVICE_EXECUTABLE; }

// About what an interactive check sends: six samples, one device, the descriptor.
std::string typicalReport()
{
    QJsonArray samples;
    for (const char* control : {"finger", "two_finger", "three_finger", "four_finger", "pen", "eraser"}) {
        samples.append(QJsonObject{
            {"control", control},
            {"status", "ok"},
            {"hex", "01 07 01 a0 0f 10 0b 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01"},
            {"text", "0026 bytes: 01 07 01 a0 0f 10 0b 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01\n"
                     "contact 1 finger x 4000 y 2832 (0..32767, 0..32767) width 0\ncontacts 1 of 1"},
        });
    }
    const QJsonObject report{
        {"schema_version", 1}, {"app", "velotap"}, {"platform", "linux"}, {"channel", "stable"},
        {"app_version", "0.1.0"}, {"app_build", "1"}, {"install_id", "6F1C2B1E-8E53-4B0C-9D1A-2C4B8E9F0A11"},
        {"report_type", "compatibility_check"}, {"report_format", "zarezivodu-check-v1"},
        {"display_model", "Flip Pro 55"}, {"os_version", "Debian GNU/Linux 12 (bookworm)"}, {"anonymous", true},
        {"hid_report_descriptor_hex", QString(QByteArray(620, 'a').toHex())},
        {"diagnostics", QJsonObject{{"active_display_bounds", "0,0 3840x2160"}, {"logical_resolution", "3840x2160"},
                                    {"physical_resolution", "3840x2160"}, {"scale_estimate", 1}}},
        {"result_summary", QJsonObject{{"finger", "ok"}, {"two_finger", "ok"}, {"three_finger", "ok"},
                                       {"four_finger", "not_tested"}, {"pen", "ok"}, {"eraser", "ok"}}},
        {"raw_samples", samples},
        {"usb_devices", QJsonArray{QJsonObject{{"vendor_id", "0x04e8"}, {"product_id", "0xa0a1"},
                                               {"manufacturer", "Samsung"}, {"product", "Touch Display"}}}},
        {"usb_vendor_id", "0x04e8"}, {"usb_product_id", "0xa0a1"},
    };
    return QJsonDocument(report).toJson(QJsonDocument::Compact).toStdString();
}

struct Service {
    pid_t pid = -1;
    int port = 0;
    QTemporaryDir dir;
    std::string db;

    bool start()
    {
        db = dir.filePath("load.db").toStdString();
        const std::string policy = dir.filePath("policy.json").toStdString();
        if (FILE* f = std::fopen(policy.c_str(), "w")) {
            std::fputs("{}", f);
            std::fclose(f);
        }
        int out[2];
        if (pipe(out) != 0)
            return false;
        pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            execl(serviceExecutable().c_str(), "velotap-service", "--db", db.c_str(), "--policy", policy.c_str(),
                  "--listen", "127.0.0.1:0", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        close(out[0]);
        const auto colon = line.rfind(':');
        port = colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
        return port > 0;
    }

    void stop()
    {
        if (pid <= 0)
            return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

    long storedReports() const
    {
        const std::string command = serviceExecutable() + " reports --db " + db + " | wc -l";
        FILE* pipe = popen(command.c_str(), "r");
        long count = -1;
        if (pipe && std::fscanf(pipe, "%ld", &count) != 1)
            count = -1;
        if (pipe)
            pclose(pipe);
        return count;
    }
};

Service service;
std::mutex latencyMutex;
std::vector<double> latenciesMs;
std::atomic<long> acknowledged{0};
std::atomic<long> failed{0};

void BM_ServicePostReports(benchmark::State& state)
{
    static const std::string body = typicalReport();
    httplib::Client client("127.0.0.1", service.port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    std::vector<double> mine;
    mine.reserve(4096);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const httplib::Result result = client.Post("/api/v1/compatibility-reports/", body, "application/json");
        mine.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (result && result->status == 201)
            ++acknowledged;
        else if (failed++ == 0)
            std::fprintf(stderr, "first failed post: %s\n",
                         result ? ("HTTP " + std::to_string(result->status)).c_str()
                                : httplib::to_string(result.error()).c_str());
    }
    state.counters["reports/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    std::lock_guard lock(latencyMutex);
    latenciesMs.insert(latenciesMs.end(), mine.begin(), mine.end());
}
BENCHMARK(BM_ServicePostReports)->Threads(Clients)->Iterations(200)->UseRealTime()->Unit(benchmark::kMillisecond);

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    benchmark::Initialize(&argc, argv);
    if (!service.start()) {
        std::fprintf(stderr, "velotap-service did not start (%s)\n", serviceExecutable().c_str());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    service.stop();

    const long stored = service.storedReports();
    std::printf("\n%d clients, %zu posts of %zu bytes: latency p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", Clients,
                latenciesMs.size(), typicalReport().size(), percentile(latenciesMs, 0.5),
                percentile(latenciesMs, 0.99), percentile(latenciesMs, 1.0));
    std::printf("acknowledged %ld, refused or failed %ld, stored %ld, lost %ld\n", acknowledged.load(), failed.load(),
                stored, acknowledged.load() - stored);
    return failed.load() == 0 && stored == acknowledged.load() ? 0 : 1;
}
