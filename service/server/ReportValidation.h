#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <variant>

// Why a posted body was refused: the HTTP status and the "error" text.
struct RejectedReport {
    int status = 400;
    QString error;
};

// A compatibility report as the service accepts it: a JSON object of at
// most MaximumReportSize bytes whose base fields have the expected types.
class ReportValidation {
public:
    static constexpr qsizetype MaximumReportSize = 1024 * 1024;

    static std::variant<QJsonObject, RejectedReport> parse(const QByteArray& body);
    static std::optional<RejectedReport> checkBaseFields(const QJsonObject& report);
};
