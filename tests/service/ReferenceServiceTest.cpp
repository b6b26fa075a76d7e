#include "tests/support/ReferenceService.h"

#include "tests/support/QtPrinters.h"
#include "tests/support/WaitUntil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

QJsonObject validReport(int number = 0)
{
    return {
        {"schema_version", 1}, {"app", "velotap"}, {"platform", "linux"}, {"channel", "stable"},
        {"app_version", "0.1.0"}, {"app_build", "1"}, {"install_id", "5A1D"}, {"report_type", "compatibility_check"},
        {"report_format", "zarezivodu-check-v1"}, {"display_model", QStringLiteral("Model %1").arg(number)},
        {"os_version", "Debian GNU/Linux 12"}, {"anonymous", true},
    };
}

QByteArray compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

struct Answer {
    int status = 0;
    QByteArray body;
};

class ReferenceServiceTest : public ::testing::Test {
protected:
    QNetworkReply* send(const QByteArray& body, const QByteArray& contentType = "application/json")
    {
        QNetworkRequest request(QUrl(service.baseURL() + "/compatibility-reports/"));
        request.setRawHeader("Content-Type", contentType);
        return network.post(request, body);
    }
    static Answer answer(QNetworkReply* reply)
    {
        EXPECT_TRUE(waitUntil([reply] { return reply->isFinished(); }));
        reply->deleteLater();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
    Answer post(const QByteArray& body, const QByteArray& contentType = "application/json")
    {
        return answer(send(body, contentType));
    }
    Answer getPolicy() { return answer(network.get(QNetworkRequest(QUrl(service.baseURL() + "/app-policy/")))); }

    ReferenceService service{QJsonObject{{"messages", QJsonArray()}}};
    QNetworkAccessManager network;
};

TEST_F(ReferenceServiceTest, RefusesBadReportsWithTheirTexts)
{
    ASSERT_TRUE(service.isRunning()) << service.error().toStdString();
    auto without = [](const char* key) {
        QJsonObject r = validReport();
        r.remove(key);
        return compact(r);
    };
    auto with = [](const char* key, const QJsonValue& value) {
        QJsonObject r = validReport();
        r.insert(key, value);
        return compact(r);
    };
    const struct {
        const char* name;
        QByteArray body;
        QByteArray contentType;
        int status;
        QString error;
    } cases[] = {
        {"form post", compact(validReport()), "application/x-www-form-urlencoded", 415,
         "Reports must be sent as application/json."},
        {"empty", "", "application/json", 400, "The report is empty."},
        {"not JSON", "schema_version=1", "application/json", 400,
         "The report is not valid JSON: illegal value at offset 1."},
        {"array", "[]", "application/json; charset=utf-8", 400, "The report must be a JSON object."},
        {"deep", QByteArray(100000, '['), "application/json", 400,
         "The report is not valid JSON: too deeply nested document at offset 1025."},
        {"missing field", without("os_version"), "application/json", 400, "\"os_version\" is missing."},
        {"wrong type", with("app_build", 12), "application/json", 400, "\"app_build\" must be a string."},
        {"not anonymous", with("anonymous", false), "application/json", 400, "\"anonymous\" must be true."},
        {"too large", with("display_model", QString(1024 * 1024, 'x')), "application/json", 413,
         "The request is larger than 1 MiB."},
    };
    for (const auto& c : cases) {
        const Answer answer = post(c.body, c.contentType);
        EXPECT_EQ(answer.status, c.status) << c.name;
        EXPECT_EQ(QJsonDocument::fromJson(answer.body).object().value("error").toString(), c.error) << c.name;
    }
    EXPECT_TRUE(service.reports().isEmpty());
    EXPECT_EQ(post(compact(validReport())).status, 201);
    EXPECT_EQ(service.reports().size(), 1);
}

TEST_F(ReferenceServiceTest, AcknowledgedReportsSurviveAKillMidLoad)
{
    // Many reports in flight; the service is killed after a third were acknowledged.
    constexpr int Count = 240;
    QSet<QString> acknowledged;
    std::vector<QNetworkReply*> replies;
    for (int i = 0; i < Count; ++i) {
        QNetworkReply* reply = send(compact(validReport(i)));
        QObject::connect(reply, &QNetworkReply::finished, reply, [reply, &acknowledged] {
            // A kill can cut an answer off after its status line: only a whole one acknowledges.
            const QString id = QJsonDocument::fromJson(reply->readAll()).object().value("id").toString();
            if (reply->error() == QNetworkReply::NoError
                && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 201 && !id.isEmpty())
                acknowledged << id;
        });
        replies.push_back(reply);
    }
    ASSERT_TRUE(waitUntil([&] { return acknowledged.size() >= Count / 3; }));
    service.kill();
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(replies.begin(), replies.end(), [](QNetworkReply* r) { return r->isFinished(); });
    }));
    EXPECT_LT(acknowledged.size(), Count) << "the kill came too late to test anything";

    ASSERT_TRUE(service.start()) << service.error().toStdString();
    QSet<QString> stored;
    for (const QJsonObject& row : service.reports())
        stored << row.value("id").toString();
    EXPECT_TRUE(stored.contains(acknowledged)) << acknowledged.size() << " acknowledged, " << stored.size() << " stored";

    // And the database takes more after the restart.
    EXPECT_EQ(post(compact(validReport())).status, 201);
    EXPECT_EQ(service.reports().size(), stored.size() + 1);
    qDeleteAll(replies);
}

TEST_F(ReferenceServiceTest, PolicyFollowsItsFileAndKeepsTheLastGoodOne)
{
    EXPECT_EQ(getPolicy().body, R"({"messages":[]})");
    service.setPolicy({{"version_policy", QJsonObject{{"latest_version", "9"}}}});
    EXPECT_EQ(getPolicy().body, R"({"version_policy":{"latest_version":"9"}})");
    service.setPolicyText("{ half a document");
    const Answer kept = getPolicy();
    EXPECT_EQ(kept.status, 200);
    EXPECT_EQ(kept.body, R"({"version_policy":{"latest_version":"9"}})");

    // Started without any usable document: a clear refusal until there is one.
    network.clearConnectionCache();
    service.stop();
    ASSERT_TRUE(service.start());
    const Answer none = getPolicy();
    EXPECT_EQ(none.status, 503);
    EXPECT_EQ(none.body, R"({"error":"The app policy is not available."})");
}

TEST_F(ReferenceServiceTest, ManyStalledConnectionsDoNotStopIt)
{
    // More half-sent requests than worker threads, then a real one.
    std::vector<std::unique_ptr<QTcpSocket>> stalled;
    for (int i = 0; i < 150; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, service.port());
        socket->write("POST /api/v1/compatibility-reports/ HTTP/1.1\r\nContent-Type: application/json\r\n"
                      "Content-Length: 900000\r\n\r\n{\"schema_version\":");
        stalled.push_back(std::move(socket));
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(stalled.begin(), stalled.end(),
                           [](const auto& s) { return s->state() == QAbstractSocket::ConnectedState && !s->bytesToWrite(); });
    }));
    QNetworkReply* reply = send(compact(validReport()));
    stalled.clear();
    EXPECT_EQ(answer(reply).status, 201);
    EXPECT_TRUE(service.isRunning());
    EXPECT_EQ(service.reports().size(), 1);
}

TEST_F(ReferenceServiceTest, CommandLineForTheMaker)
{
    ASSERT_EQ(post(compact(validReport(1))).status, 201);
    const QString receivedAt = service.reports().first().value("received_at").toString();
    EXPECT_TRUE(receivedAt.endsWith('Z'));
    EXPECT_EQ(service.reports(receivedAt).size(), 1);
    EXPECT_EQ(service.reports("2000-01-01").size(), 1);
    EXPECT_EQ(service.reports("2999-01-01T00:00:00+02:00").size(), 0);

    QByteArray err;
    EXPECT_EQ(ReferenceService::runCommand({"reports", "--db", service.databasePath(), "--since", "yesterday"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains("--since needs an ISO 8601 date or time"));
    EXPECT_EQ(ReferenceService::runCommand({"reports"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains("--db is required"));
    EXPECT_EQ(ReferenceService::runCommand({"reports", "--db", service.databasePath() + ".missing"}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains("cannot read"));
}

} // namespace
