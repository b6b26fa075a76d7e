#include "service/server/ServiceServer.h"

#include "service/server/PolicyDocument.h"
#include "service/server/ReportStore.h"
#include "service/server/ReportValidation.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <httplib.h>

#include <cstdio>
#include <sys/socket.h>

namespace {

constexpr const char* JsonType = "application/json";

void answer(httplib::Response& response, int status, const QJsonObject& body)
{
    response.status = status;
    response.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), JsonType);
}

void refuse(httplib::Response& response, int status, const QString& error)
{
    answer(response, status, QJsonObject{{"error", error}});
}

QString defaultErrorText(int status)
{
    switch (status) {
    case 404: return QStringLiteral("Not found.");
    case 405: return QStringLiteral("Method not allowed.");
    case 413: return QStringLiteral("The request is larger than 1 MiB.");
    case 414: return QStringLiteral("The request address is too long.");
    default: return QStringLiteral("The request could not be served (HTTP %1).").arg(status);
    }
}

bool isJsonContentType(const std::string& value)
{
    const QString type = QString::fromStdString(value).section(QLatin1Char(';'), 0, 0).trimmed();
    return type.compare(QLatin1String(JsonType), Qt::CaseInsensitive) == 0;
}

} // namespace

ServiceServer::ServiceServer(ReportStore& store, PolicyDocument& policy)
    : m_store(store), m_policy(policy), m_server(std::make_unique<httplib::Server>())
{
    // One thread per open connection; slow or idle clients are cut off
    // by the read and keep-alive time-outs.
    m_server->new_task_queue = [] { return new httplib::ThreadPool(WorkerThreads); };
    // Headers and body go out as separate writes; Nagle would hold the
    // second back for the peer's delayed acknowledgement.
    m_server->set_tcp_nodelay(true);
    m_server->set_read_timeout(5, 0);
    m_server->set_write_timeout(5, 0);
    m_server->set_keep_alive_timeout(5);
    m_server->set_keep_alive_max_count(1000);
    m_server->set_payload_max_length(ReportValidation::MaximumReportSize);
    m_server->set_socket_options([this](socket_t socket) {
        const int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (m_listenSocket < 0)
            m_listenSocket = socket;
    });
    m_server->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            refuse(response, response.status, defaultErrorText(response.status));
    });
    addRoutes();
}

ServiceServer::~ServiceServer() = default;

void ServiceServer::addRoutes()
{
    m_server->Get(R"(/api/v1/app-policy/?)", [this](const httplib::Request& request, httplib::Response& response) {
        QJsonObject query;
        for (const auto& [key, value] : request.params)
            query.insert(QString::fromStdString(key), QString::fromStdString(value));
        QString error;
        if (!m_store.write({ReportStore::Table::PolicyChecks, QString(), ReportStore::now(), query}, &error))
            std::fprintf(stderr, "velotap-service: policy check not recorded: %s\n", qPrintable(error));
        const std::optional<QByteArray> document = m_policy.current();
        if (!document) {
            refuse(response, 503, QStringLiteral("The app policy is not available."));
            return;
        }
        response.set_content(document->toStdString(), JsonType);
    });

    m_server->Post(R"(/api/v1/compatibility-reports/?)", [this](const httplib::Request& request,
                                                                  httplib::Response& response) {
        if (!isJsonContentType(request.get_header_value("Content-Type"))) {
            refuse(response, 415, QStringLiteral("Reports must be sent as application/json."));
            return;
        }
        auto parsed = ReportValidation::parse(QByteArray::fromStdString(request.body));
        if (const auto* rejected = std::get_if<RejectedReport>(&parsed)) {
            refuse(response, rejected->status, rejected->error);
            return;
        }
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        QString error;
        if (!m_store.write({ReportStore::Table::Reports, id, ReportStore::now(), std::get<QJsonObject>(parsed)},
                           &error)) {
            std::fprintf(stderr, "velotap-service: report not stored: %s\n", qPrintable(error));
            refuse(response, 503, QStringLiteral("The report could not be stored; try again later."));
            return;
        }
        answer(response, 201, QJsonObject{{"id", id}});
    });
}

int ServiceServer::bind(const QString& host, int port)
{
    const std::string address = host.toStdString();
    const int bound = port == 0 ? m_server->bind_to_any_port(address) : (m_server->bind_to_port(address, port) ? port : -1);
    // The library listens with a backlog of 5: a burst of new clients would
    // overflow it and see their first request fail. Listening again widens it.
    if (bound > 0 && m_listenSocket >= 0)
        ::listen(m_listenSocket, SOMAXCONN);
    return bound;
}

bool ServiceServer::run() { return m_server->listen_after_bind(); }

void ServiceServer::stop() { m_server->stop(); }
