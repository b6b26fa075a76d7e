#pragma once
#include "base/VTError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class UserDefaults;

// Error codes of the service client's own errors (domain "Velotap"). A
// JSON body that does not parse carries the parser's code; an HTTP error
// status carries the status itself.
namespace ServiceErrorCode {
inline constexpr qint64 InvalidURL = 1;
inline constexpr qint64 NoUsableResponse = 2;
inline constexpr qint64 NotADictionary = 3;
inline constexpr qint64 ResponseTooLarge = 4;
} // namespace ServiceErrorCode

// Errors of the transport (no connection, time-out) keep Qt's own code
// under this domain.
inline const QString TransportErrorDomain = QStringLiteral("QtNetwork");

// The judgement of one answer: a dictionary, an error, or both (an error
// status with a JSON body); callers look at the error first.
struct ServiceResult {
    std::optional<QJsonObject> result;
    std::optional<VTError> error;
};

// One query entry; entries keep their order on the wire.
using ServiceQuery = QList<std::pair<QString, QString>>;

// The client of the maker's web service: where it lives ("apiBaseURL"), how
// request URLs are formed, the GET and POST shapes and how every answer is
// judged. Completions run on the main thread, later, except when the request
// cannot be formed: then at once, before the call returns. Destroying the
// client drops the completions of requests still in flight.
class ServiceClient {
public:
    using Completion = std::function<void(const std::optional<QJsonObject>& result, const std::optional<VTError>& error)>;

    static constexpr int DefaultTransferTimeoutMs = 12000;
    // Larger answers are refused rather than held in memory.
    static constexpr qint64 MaximumResponseSize = 1024 * 1024;

    explicit ServiceClient(UserDefaults& defaults);
    ~ServiceClient();
    ServiceClient(const ServiceClient&) = delete;
    ServiceClient& operator=(const ServiceClient&) = delete;

    // The production address, used when "apiBaseURL" is empty or retired.
    static QString productionBaseURL();
    // Former addresses; a stored one of these is removed from the defaults.
    static const QStringList& retiredBaseURLs();

    QString serviceBaseURL() const;
    std::optional<QUrl> serviceURLForPath(const QString& path) const;

    void getJSON(const QString& path, const ServiceQuery& query, Completion completion);
    void postJSON(const QString& path, const QJsonObject& body, Completion completion);

    // `httpStatus` is none when no HTTP response arrived.
    static ServiceResult parseServiceResponse(const QByteArray& data, std::optional<int> httpStatus,
                                              const std::optional<VTError>& transportError);

    // A link from the service made absolute against the base URL; none when
    // it is empty, cannot be resolved or is not an http(s) address (the
    // service must not make the browser open local files or run scripts).
    std::optional<QUrl> resolveServiceLink(const QString& text) const;

    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }

private:
    void send(QNetworkReply* reply, Completion completion);
    QNetworkRequest jsonRequest(const QUrl& url) const;

    UserDefaults& m_defaults;
    std::unique_ptr<QNetworkAccessManager> m_network;
    int m_transferTimeoutMs = DefaultTransferTimeoutMs;
};
