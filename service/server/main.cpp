// velotap-service: the maker's web service for Velotap (app policy and
// anonymous compatibility reports), and the maker's view of what it stored.
#include "service/server/PolicyDocument.h"
#include "service/server/ReportStore.h"
#include "service/server/ServiceServer.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

namespace {

const char* const Usage =
    "usage: velotap-service [serve] --db FILE --policy FILE [--listen HOST:PORT]\n"
    "       velotap-service reports --db FILE [--since TIME]\n"
    "       velotap-service checks --db FILE [--since TIME]\n"
    "\n"
    "serve    answers GET /api/v1/app-policy/ with the policy file (read again when it\n"
    "         changes) and stores POST /api/v1/compatibility-reports/ in the database;\n"
    "         listens on 127.0.0.1:8470 unless told otherwise (port 0: any free port)\n"
    "reports  prints the stored compatibility reports, one JSON object per line\n"
    "checks   prints the recorded app-policy checks, one JSON object per line\n"
    "TIME     ISO 8601, e.g. 2024-05-01 or 2024-05-01T12:00:00Z (UTC unless a zone is given)\n";

int usageError(const char* problem)
{
    std::fprintf(stderr, "velotap-service: %s\n\n%s", problem, Usage);
    return 2;
}

struct Options {
    QString command = QStringLiteral("serve");
    QString db;
    QString policy;
    QString listen = QStringLiteral("127.0.0.1:8470");
    QString since;
};

// Empty on success, else what is wrong.
QString parse(const QStringList& arguments, Options& options)
{
    qsizetype i = 0;
    if (!arguments.isEmpty() && !arguments.first().startsWith(QLatin1Char('-')))
        options.command = arguments.at(i++);
    if (!QStringList{"serve", "reports", "checks"}.contains(options.command))
        return QStringLiteral("unknown command %1").arg(options.command);
    for (; i < arguments.size(); ++i) {
        const QString& option = arguments.at(i);
        QString* target = option == QLatin1String("--db")       ? &options.db
                        : option == QLatin1String("--policy")   ? &options.policy
                        : option == QLatin1String("--listen")   ? &options.listen
                        : option == QLatin1String("--since")    ? &options.since
                                                                : nullptr;
        if (!target)
            return QStringLiteral("unknown option %1").arg(option);
        if (++i == arguments.size())
            return QStringLiteral("%1 needs a value").arg(option);
        *target = arguments.at(i);
    }
    if (options.db.isEmpty())
        return QStringLiteral("--db is required");
    if (options.command == QLatin1String("serve") && options.policy.isEmpty())
        return QStringLiteral("--policy is required");
    return QString();
}

// The stored form of a time given on the command line; null when unreadable.
QString storedTime(const QString& text)
{
    QDateTime time = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!time.isValid())
        time = QDateTime(QDate::fromString(text, Qt::ISODate), QTime(0, 0), Qt::UTC);
    if (!time.isValid())
        return QString();
    if (time.timeSpec() == Qt::LocalTime)
        time.setTimeSpec(Qt::UTC);
    return time.toUTC().toString(Qt::ISODateWithMs);
}

int printRecords(const Options& options)
{
    QString since;
    if (!options.since.isEmpty()) {
        since = storedTime(options.since);
        if (since.isNull())
            return usageError("--since needs an ISO 8601 date or time");
    }
    const auto table = options.command == QLatin1String("reports") ? ReportStore::Table::Reports
                                                                   : ReportStore::Table::PolicyChecks;
    QString error;
    const bool ok = ReportStore::read(options.db, table, since, [](const QJsonObject& row) {
        std::fputs(QJsonDocument(row).toJson(QJsonDocument::Compact).constData(), stdout);
        std::fputc('\n', stdout);
    }, &error);
    if (!ok) {
        std::fprintf(stderr, "velotap-service: cannot read %s: %s\n", qPrintable(options.db), qPrintable(error));
        return 1;
    }
    return 0;
}

int serve(const Options& options)
{
    const qsizetype colon = options.listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = colon > 0 ? options.listen.mid(colon + 1).toInt(&portOk) : 0;
    if (!portOk || port < 0 || port > 65535)
        return usageError("--listen needs HOST:PORT");
    QString host = options.listen.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);

    // Stop on SIGINT/SIGTERM through one waiting thread; broken connections must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QString error;
    std::unique_ptr<ReportStore> store = ReportStore::open(options.db, &error);
    if (!store) {
        std::fprintf(stderr, "velotap-service: cannot open %s: %s\n", qPrintable(options.db), qPrintable(error));
        return 1;
    }
    PolicyDocument policy(options.policy);
    if (!policy.current())
        std::fprintf(stderr, "velotap-service: no usable policy in %s yet; answering 503 until there is\n",
                     qPrintable(options.policy));

    ServiceServer server(*store, policy);
    const int bound = server.bind(host, port);
    if (bound < 0) {
        std::fprintf(stderr, "velotap-service: cannot listen on %s\n", qPrintable(options.listen));
        return 1;
    }
    std::printf("velotap-service listening on %s:%d\n", qPrintable(host), bound);
    std::fflush(stdout);

    std::thread stopper([&server, stopSignals] {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    });
    const bool served = server.run();
    if (!served)
        std::fprintf(stderr, "velotap-service: serving failed\n");
    // Wakes the stopper when the server ended on its own.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return served ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fputs(Usage, stdout);
        return 0;
    }
    Options options;
    const QString problem = parse(arguments, options);
    if (!problem.isEmpty())
        return usageError(qPrintable(problem));
    return options.command == QLatin1String("serve") ? serve(options) : printRecords(options);
}
