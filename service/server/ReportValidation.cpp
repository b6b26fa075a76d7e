#include "service/server/ReportValidation.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace {

RejectedReport rejected(const QString& error) { return RejectedReport{400, error}; }

} // namespace

std::variant<QJsonObject, RejectedReport> ReportValidation::parse(const QByteArray& body)
{
    if (body.size() > MaximumReportSize)
        return RejectedReport{413, QStringLiteral("The report is larger than 1 MiB.")};
    if (body.isEmpty())
        return rejected(QStringLiteral("The report is empty."));
    // Qt's parser stops at a fixed nesting depth, so deep input cannot exhaust the stack.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        return rejected(QStringLiteral("The report is not valid JSON: %1 at offset %2.")
                            .arg(error.errorString())
                            .arg(error.offset));
    if (!document.isObject())
        return rejected(QStringLiteral("The report must be a JSON object."));
    QJsonObject report = document.object();
    if (std::optional<RejectedReport> problem = checkBaseFields(report))
        return *problem;
    return report;
}

std::optional<RejectedReport> ReportValidation::checkBaseFields(const QJsonObject& report)
{
    const QJsonValue schema = report.value(QLatin1String("schema_version"));
    if (schema.isUndefined())
        return rejected(QStringLiteral("\"schema_version\" is missing."));
    if (!schema.isDouble() || schema.toDouble() != 1)
        return rejected(QStringLiteral("\"schema_version\" must be 1."));

    static const char* const stringFields[] = {
        "app", "platform", "channel", "app_version", "app_build", "install_id",
        "report_type", "report_format", "display_model", "os_version",
    };
    for (const char* field : stringFields) {
        const QJsonValue value = report.value(QLatin1String(field));
        if (value.isUndefined())
            return rejected(QStringLiteral("\"%1\" is missing.").arg(QLatin1String(field)));
        if (!value.isString())
            return rejected(QStringLiteral("\"%1\" must be a string.").arg(QLatin1String(field)));
    }
    if (report.value(QLatin1String("install_id")).toString().isEmpty())
        return rejected(QStringLiteral("\"install_id\" must not be empty."));
    if (report.value(QLatin1String("anonymous")) != QJsonValue(true))
        return rejected(QStringLiteral("\"anonymous\" must be true."));

    const QJsonValue descriptorHex = report.value(QLatin1String("hid_report_descriptor_hex"));
    if (!descriptorHex.isUndefined() && !descriptorHex.isString())
        return rejected(QStringLiteral("\"hid_report_descriptor_hex\" must be a string."));
    const QJsonValue summary = report.value(QLatin1String("hid_descriptor_summary"));
    if (!summary.isUndefined() && !summary.isObject())
        return rejected(QStringLiteral("\"hid_descriptor_summary\" must be an object."));
    return std::nullopt;
}
