#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVariantList>

struct CompatibilityEnvironment;
class DisplayServices;

// The anonymous report both compatibility windows send, and its pieces.
namespace compatreport {

inline const QString ReportsPath = QStringLiteral("/compatibility-reports/");

// "Finger 2 point" -> "two_finger"; other names lower-cased, spaces as "_".
QString summaryKeyForName(const QString& name);
// The bytes after "bytes:" on the first line that has them, trimmed.
QString firstHexLineFromSample(const QString& sample);
// "contacts=N kinds=finger, pen" ("none" for no contacts).
QString contactsDetails(const QVariantList& contacts);
QString kindNames(const QVariantList& contacts);

// The system's name and version with the kernel release.
QString operatingSystemVersion();
// Bounds, pixel size and scale of the main display.
QJsonObject displayDiagnostics(const DisplayServices& displays);
// One "raw_samples" element; "hex" and "text" only when there is a sample.
QJsonObject rawSample(const QString& control, const QString& status, const QString& sample);

struct Contents {
    QString reportType;
    QString reportFormat;
    QString displayModel;
    QJsonObject resultSummary;
    QJsonArray rawSamples;
};

// The whole payload: base fields, the device in use, diagnostics, results,
// samples and the connected touch devices.
QJsonObject reportPayload(const CompatibilityEnvironment& environment, const Contents& contents);

} // namespace compatreport
