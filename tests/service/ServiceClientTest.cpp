#include "service/ServiceClient.h"

#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/RawHttpPeer.h"
#include "tests/support/ReferenceService.h"
#include "tests/support/WaitUntil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString text(const std::optional<VTError>& error)
{
    if (!error)
        return QStringLiteral("no error");
    return QStringLiteral("%1 %2 %3").arg(error->domain).arg(error->code).arg(error->description);
}

class ServiceClientTest : public ::testing::Test {
protected:
    ServiceClientTest() { SettingsStore(defaults).registerDefaults(); }

    void useBase(const QString& base) { defaults.setValue(SettingsKey::ApiBaseURL, base); }

    ServiceResult wait(const std::function<void(ServiceClient::Completion)>& request)
    {
        ServiceResult out;
        bool done = false;
        request([&](const std::optional<QJsonObject>& result, const std::optional<VTError>& error) {
            out = {result, error};
            done = true;
        });
        EXPECT_FALSE(done) << "a sent request completes later, never inside the call";
        EXPECT_TRUE(waitUntil([&] { return done; }));
        return out;
    }
    ServiceResult get(const QString& path, const ServiceQuery& query = {})
    {
        return wait([&](ServiceClient::Completion c) { client.getJSON(path, query, std::move(c)); });
    }
    ServiceResult post(const QString& path, const QJsonObject& body)
    {
        return wait([&](ServiceClient::Completion c) { client.postJSON(path, body, std::move(c)); });
    }

    // Outlives the client, whose open connections would hold up its stop.
    std::optional<ReferenceService> service;
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    ServiceClient client{defaults};
};

TEST_F(ServiceClientTest, BaseURLsAndLinksResolveOrFailAtOnce)
{
    useBase(" https://svc.example.org/api/v1 \n");
    EXPECT_EQ(client.serviceBaseURL(), "https://svc.example.org/api/v1");
    EXPECT_TRUE(defaults.hasStoredValue(SettingsKey::ApiBaseURL));

    for (const QString& retired : ServiceClient::retiredBaseURLs()) {
        useBase(retired + "\n");
        EXPECT_EQ(client.serviceBaseURL(), ServiceClient::productionBaseURL()) << retired.toStdString();
        EXPECT_FALSE(defaults.hasStoredValue(SettingsKey::ApiBaseURL)) << retired.toStdString();
    }

    useBase("https://svc.example.org/api/v1//");
    EXPECT_EQ(client.serviceURLForPath("app-policy/")->toString(), "https://svc.example.org/api/v1/app-policy/");
    EXPECT_EQ(client.serviceURLForPath("/app-policy/")->toString(), "https://svc.example.org/api/v1/app-policy/");

    // A malformed base fails at once.
    for (const QString base : {"not a url", "svc.example.org/api/v1", "ftp://svc.example.org/api/v1"}) {
        useBase(base);
        EXPECT_FALSE(client.serviceURLForPath("/app-policy/")) << base.toStdString();
        std::optional<VTError> getError, postError;
        client.getJSON("/app-policy/", {}, [&](auto, const std::optional<VTError>& e) { getError = e; });
        client.postJSON("/compatibility-reports/", {}, [&](auto, const std::optional<VTError>& e) { postError = e; });
        EXPECT_EQ(text(getError), "Velotap 1 Policy server URL is invalid.");
        EXPECT_EQ(text(postError), "Velotap 1 Service URL is invalid.");
    }

    // Links resolve against the service's origin.
    useBase("https://svc.example.org:8443/api/v1");
    const struct {
        const char* link;
        const char* url; // "" for none
    } cases[] = {
        {"/downloads/latest", "https://svc.example.org:8443/downloads/latest"},
        {"downloads/latest", "https://svc.example.org:8443/api/v1/downloads/latest"},
        {"../news?id=3", "https://svc.example.org:8443/api/news?id=3"},
        {" https://other.example.net/get \n", "https://other.example.net/get"},
        // A path that looks like another host stays on the service.
        {"//evil.example.net/x", "https://svc.example.org:8443//evil.example.net/x"},
        {"javascript:alert(1)", ""},
        {"file:///etc/passwd", ""},
        {"  \n", ""},
    };
    for (const auto& c : cases) {
        const std::optional<QUrl> url = client.resolveServiceLink(QString::fromUtf8(c.link));
        EXPECT_EQ(url ? url->toString() : QString(), QString::fromUtf8(c.url)) << c.link;
    }

    useBase("http://[::1]:8080");
    EXPECT_EQ(client.resolveServiceLink("get")->toString(), "http://[::1]:8080/get");
}

TEST_F(ServiceClientTest, RoundTripWithTheReferenceService)
{
    const QJsonObject policy{{"version_policy", QJsonObject{{"latest_version", "2.0"}}}};
    service.emplace(policy);
    ASSERT_TRUE(service->isRunning()) << service->error().toStdString();
    useBase(service->baseURL() + "/");

    const ServiceResult fetched = get("app-policy/", {{"install_event", "first_launch"}, {"empty", ""},
                                                      {"os_version", "Debian 12 (bookworm) 1+2 & ü"}});
    EXPECT_EQ(text(fetched.error), "no error");
    EXPECT_EQ(fetched.result, policy);
    ASSERT_EQ(service->checks().size(), 1);
    EXPECT_EQ(service->checks().first().value("query").toObject(),
              (QJsonObject{{"install_event", "first_launch"}, {"os_version", "Debian 12 (bookworm) 1+2 & ü"}}));
}

TEST_F(ServiceClientTest, AnswersNoRealServerGives)
{
    RawHttpPeer peer;
    useBase(peer.baseURL());
    QJsonParseError htmlError;
    QJsonDocument::fromJson("<html>", &htmlError);
    const QString internal = "The server returned an internal error instead of JSON; check the server's logs.";
    const QString unreadable = "The server returned a response that Velotap could not read.";

    const struct {
        const char* name;
        QByteArray response;
        QString error;
        bool hasResult;
    } cases[] = {
        {"HTML fatal error", RawHttpPeer::response(500, "<html><b>fatal error</b>: in db.php</html>", "Content-Type: text/html\r\n"),
         QStringLiteral("Velotap %1 ").arg(htmlError.error) + internal, false},
        {"404 with JSON", RawHttpPeer::response(404, R"({"error": "not found"})"), "Velotap 404 not found", true},
        {"message text", RawHttpPeer::response(503, R"({"error": "", "message": "down for maintenance"})"),
         "Velotap 503 down for maintenance", true},
        {"dictionary without text", RawHttpPeer::response(502, "{}"), "Velotap 502 Server returned HTTP 502.", true},
        {"array", RawHttpPeer::response(200, "[]"), "Velotap 3 " + unreadable, false},
        {"not JSON", RawHttpPeer::response(200, "OK"), QStringLiteral("Velotap %1 ").arg(QJsonParseError::IllegalValue) + unreadable, false},
        {"empty 204", RawHttpPeer::response(204, ""), "Velotap 2 Server returned HTTP 204.", false},
        {"over 1 MiB", RawHttpPeer::response(200, '"' + QByteArray(2 * 1024 * 1024, 'x') + '"'),
         "Velotap 4 The server's response is larger than 1 MiB.", false},
        {"downgrade redirect", RawHttpPeer::response(302, "", "Location: https://127.0.0.1:1/api/v1/app-policy/\r\n"),
         "Velotap 302 The server redirected to a https address, which is not followed.", false},
    };
    for (const auto& c : cases) {
        peer.setResponse(c.response);
        const ServiceResult answer = get("/app-policy/");
        EXPECT_EQ(text(answer.error), c.error) << c.name;
        EXPECT_EQ(answer.result.has_value(), c.hasResult) << c.name;
    }

    peer.setResponse(RawHttpPeer::response(200, "{}"));
    post("/compatibility-reports/", {{"a", 1}});
    ASSERT_FALSE(peer.requests.isEmpty());
    EXPECT_TRUE(peer.requests.first().startsWith("GET /api/v1/app-policy/ HTTP/1.1"));
    EXPECT_TRUE(peer.requests.first().contains("\r\nAccept: application/json"));
    EXPECT_TRUE(peer.requests.last().startsWith("POST /api/v1/compatibility-reports/ HTTP/1.1"));
    EXPECT_TRUE(peer.requests.last().contains("\r\nContent-Type: application/json"));

    // A server that never answers.
    RawHttpPeer silent;
    useBase(silent.baseURL());
    client.setTransferTimeout(200);
    EXPECT_EQ(text(get("/app-policy/").error),
              QStringLiteral("QtNetwork %1 The request timed out.").arg(QNetworkReply::TimeoutError));
}

} // namespace
