#include "service/ServiceClient.h"

#include "base/UserDefaults.h"
#include "settings/SettingsStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

const QString PolicyURLInvalidText = QStringLiteral("Policy server URL is invalid.");
const QString ServiceURLInvalidText = QStringLiteral("Service URL is invalid.");

bool isWebScheme(const QString& scheme)
{
    return scheme == QLatin1String("https") || scheme == QLatin1String("http");
}

bool isWebURL(const QUrl& url)
{
    return url.isValid() && isWebScheme(url.scheme()) && !url.host().isEmpty();
}

std::optional<QJsonObject> dictionaryBody(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

QString nonEmptyString(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

QString httpErrorText(const QByteArray& data, std::optional<int> httpStatus)
{
    if (!data.isEmpty()) {
        if (const std::optional<QJsonObject> body = dictionaryBody(data)) {
            if (QString text = nonEmptyString(*body, QLatin1String("error")); !text.isEmpty())
                return text;
            if (QString text = nonEmptyString(*body, QLatin1String("message")); !text.isEmpty())
                return text;
        }
    }
    if (httpStatus)
        return QStringLiteral("Server returned HTTP %1.").arg(*httpStatus);
    return QStringLiteral("The server did not return a usable response.");
}

QString unreadableBodyText(const QByteArray& data)
{
    if (data.isEmpty())
        return QStringLiteral("The server returned an empty response.");
    if (QString::fromUtf8(data).contains(QLatin1String("fatal error"), Qt::CaseInsensitive))
        return QStringLiteral("The server returned an internal error instead of JSON; check the server's logs.");
    return QStringLiteral("The server returned a response that Velotap could not read.");
}

// Qt's parser refuses a top-level scalar; wrapped in an array it tells
// valid JSON of another kind from text that is not JSON at all.
bool isJsonScalar(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument wrapped = QJsonDocument::fromJson('[' + data + ']', &error);
    return error.error == QJsonParseError::NoError && wrapped.array().size() == 1;
}

// What became of one transfer apart from what the reply itself says.
struct TransferState {
    bool tooLarge = false;
    std::optional<QUrl> refusedRedirect;
};

} // namespace

ServiceClient::ServiceClient(UserDefaults& defaults)
    : m_defaults(defaults), m_network(std::make_unique<QNetworkAccessManager>())
{
}

ServiceClient::~ServiceClient()
{
    // Aborting replies emits their signals; nobody may hear them now.
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        QObject::disconnect(reply, nullptr, nullptr, nullptr);
        reply->abort();
    }
}

QString ServiceClient::productionBaseURL() { return DefaultApiBaseURL; }

const QStringList& ServiceClient::retiredBaseURLs()
{
    static const QStringList urls{
        QStringLiteral("https://api.example.com/"),
        QStringLiteral("https://api.example.com/v1"),
        QStringLiteral("https://dev-api.example.com/api/v1"),
        QStringLiteral("http://staging.example.net:8000/api/v1"),
    };
    return urls;
}

QString ServiceClient::serviceBaseURL() const
{
    QString base = m_defaults.stringValue(SettingsKey::ApiBaseURL).trimmed();
    if (retiredBaseURLs().contains(base)) {
        m_defaults.removeValue(SettingsKey::ApiBaseURL);
        base.clear();
    }
    return base.isEmpty() ? productionBaseURL() : base;
}

std::optional<QUrl> ServiceClient::serviceURLForPath(const QString& path) const
{
    QString text = serviceBaseURL();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    if (!path.startsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    text += path;
    const QUrl url(text, QUrl::StrictMode);
    if (!isWebURL(url))
        return std::nullopt;
    return url;
}

QNetworkRequest ServiceClient::jsonRequest(const QUrl& url) const
{
    QNetworkRequest request(url);
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    return request;
}

void ServiceClient::getJSON(const QString& path, const ServiceQuery& query, Completion completion)
{
    std::optional<QUrl> url = serviceURLForPath(path);
    if (!url) {
        completion(std::nullopt, VTError::velotap(ServiceErrorCode::InvalidURL, PolicyURLInvalidText));
        return;
    }
    // Encoded by hand: QUrlQuery would leave '+' alone, which servers read as a space.
    QByteArray encoded;
    for (const auto& [key, value] : query) {
        if (key.isEmpty() || value.isEmpty())
            continue;
        if (!encoded.isEmpty())
            encoded += '&';
        encoded += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    if (!encoded.isEmpty())
        url->setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
    send(m_network->get(jsonRequest(*url)), std::move(completion));
}

void ServiceClient::postJSON(const QString& path, const QJsonObject& body, Completion completion)
{
    const std::optional<QUrl> url = serviceURLForPath(path);
    if (!url) {
        completion(std::nullopt, VTError::velotap(ServiceErrorCode::InvalidURL, ServiceURLInvalidText));
        return;
    }
    QNetworkRequest request = jsonRequest(*url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    send(m_network->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact)), std::move(completion));
}

void ServiceClient::send(QNetworkReply* reply, Completion completion)
{
    auto state = std::make_shared<TransferState>();
    const QString scheme = reply->request().url().scheme();

    // A redirect may change the address but never the scheme: no https -> http downgrade.
    QObject::connect(reply, &QNetworkReply::redirected, reply, [reply, state, scheme](const QUrl& target) {
        if (target.scheme() == scheme) {
            emit reply->redirectAllowed();
            return;
        }
        state->refusedRedirect = target;
        reply->abort();
    });
    auto checkSize = [reply, state] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply->bytesAvailable() > MaximumResponseSize
            || (announced.isValid() && announced.toLongLong() > MaximumResponseSize)) {
            state->tooLarge = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, checkSize);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, checkSize);

    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, state, completion = std::move(completion)] {
        reply->deleteLater();
        const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const std::optional<int> status =
            statusAttribute.isValid() ? std::optional<int>(statusAttribute.toInt()) : std::nullopt;
        if (state->tooLarge) {
            completion(std::nullopt, VTError::velotap(ServiceErrorCode::ResponseTooLarge,
                                                      QStringLiteral("The server's response is larger than 1 MiB.")));
            return;
        }
        if (state->refusedRedirect) {
            completion(std::nullopt,
                       VTError::velotap(status.value_or(ServiceErrorCode::NoUsableResponse),
                                        QStringLiteral("The server redirected to a %1 address, which is not followed.")
                                            .arg(state->refusedRedirect->scheme())));
            return;
        }
        // Qt reports error statuses as reply errors too; only failures below
        // the HTTP layer, or with no HTTP answer at all, are transport errors.
        std::optional<VTError> transportError;
        const QNetworkReply::NetworkError error = reply->error();
        if (error != QNetworkReply::NoError && (!status || error < QNetworkReply::ContentAccessDenied)) {
            if (error == QNetworkReply::OperationCanceledError) // only the transfer time-out cancels
                transportError = VTError{TransportErrorDomain, QNetworkReply::TimeoutError,
                                         QStringLiteral("The request timed out.")};
            else
                transportError = VTError{TransportErrorDomain, error, reply->errorString()};
        }
        const ServiceResult parsed =
            parseServiceResponse(transportError ? QByteArray() : reply->readAll(), status, transportError);
        completion(parsed.result, parsed.error);
    });
}

ServiceResult ServiceClient::parseServiceResponse(const QByteArray& data, std::optional<int> httpStatus,
                                                  const std::optional<VTError>& transportError)
{
    if (transportError)
        return {std::nullopt, transportError};

    ServiceResult out;
    if (!data.isEmpty()) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
        if (parseError.error == QJsonParseError::NoError && document.isObject())
            out.result = document.object();
        else if (parseError.error == QJsonParseError::NoError || isJsonScalar(data))
            out.error = VTError::velotap(ServiceErrorCode::NotADictionary, unreadableBodyText(data));
        else
            out.error = VTError::velotap(parseError.error, unreadableBodyText(data));
    }
    if (!out.error && httpStatus && (*httpStatus < 200 || *httpStatus > 299))
        out.error = VTError::velotap(*httpStatus, httpErrorText(data, httpStatus));
    if (!out.error && !out.result)
        out.error = VTError::velotap(ServiceErrorCode::NoUsableResponse, httpErrorText(data, httpStatus));
    return out;
}

std::optional<QUrl> ServiceClient::resolveServiceLink(const QString& text) const
{
    const QString link = text.trimmed();
    if (link.isEmpty())
        return std::nullopt;

    const QUrl asGiven(link);
    if (asGiven.isValid() && !asGiven.scheme().isEmpty())
        return isWebURL(asGiven) ? std::optional<QUrl>(asGiven) : std::nullopt;

    const QUrl base(serviceBaseURL());
    if (base.scheme().isEmpty() || base.host().isEmpty())
        return std::nullopt;
    QUrl originURL;
    originURL.setScheme(base.scheme());
    originURL.setHost(base.host());
    originURL.setPort(base.port());
    const QString origin = originURL.toString(QUrl::FullyEncoded);

    QUrl resolved;
    if (link.startsWith(QLatin1Char('/'))) {
        // Joined as text: "//host/x" stays a path on the service, never another host.
        resolved = QUrl(origin + link);
    } else {
        QString basePath = base.path(QUrl::FullyEncoded);
        if (!basePath.endsWith(QLatin1Char('/')))
            basePath += QLatin1Char('/');
        resolved = QUrl(origin + basePath).resolved(QUrl(link));
    }
    return isWebURL(resolved) ? std::optional<QUrl>(resolved) : std::nullopt;
}
