#include "compat/CompatibilityReport.h"

#include "compat/CompatibilityEnvironment.h"
#include "service/InstallID.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/DisplayServices.h"
#include "touch/VTTouchBridge.h"

#include <QStringList>
#include <QSysInfo>

namespace compatreport {

QString summaryKeyForName(const QString& name)
{
    static const QHash<QString, QString> keys{
        {QStringLiteral("Finger 1 point"), QStringLiteral("finger")},
        {QStringLiteral("Finger 2 point"), QStringLiteral("two_finger")},
        {QStringLiteral("Finger 3 point"), QStringLiteral("three_finger")},
        {QStringLiteral("Finger 4 point"), QStringLiteral("four_finger")},
        {QStringLiteral("Pen"), QStringLiteral("pen")},
        {QStringLiteral("Eraser"), QStringLiteral("eraser")},
    };
    return keys.value(name, name.toLower().replace(QLatin1Char(' '), QLatin1Char('_')));
}

QString firstHexLineFromSample(const QString& sample)
{
    static const QString marker = QStringLiteral("bytes:");
    for (const QString& line : sample.split(QLatin1Char('\n'))) {
        const qsizetype at = line.indexOf(marker);
        if (at >= 0)
            return line.mid(at + marker.size()).trimmed();
    }
    return QString();
}

QString kindNames(const QVariantList& contacts)
{
    if (contacts.isEmpty())
        return QStringLiteral("none");
    QStringList names;
    for (const QVariant& contact : contacts) {
        const QVariant name = contact.toMap().value(QStringLiteral("kindName"));
        names << (name.isValid() ? name.toString() : QStringLiteral("unknown"));
    }
    return names.join(QStringLiteral(", "));
}

QString contactsDetails(const QVariantList& contacts)
{
    return QStringLiteral("contacts=%1 kinds=%2").arg(contacts.size()).arg(kindNames(contacts));
}

QString operatingSystemVersion()
{
    // QSysInfo reads PRETTY_NAME from /etc/os-release.
    const QString name = QSysInfo::prettyProductName();
    const QString kernel = QSysInfo::kernelVersion();
    if (kernel.isEmpty())
        return name;
    return QStringLiteral("%1, Linux %2").arg(name, kernel);
}

QJsonObject displayDiagnostics(const DisplayServices& displays)
{
    const DisplayServices::DisplayID main = displays.mainDisplay();
    const QRectF bounds = displays.displayBounds(main);
    const QSize pixels = displays.displayPixelSize(main);
    const double wide = bounds.width() > 0 ? pixels.width() / bounds.width() : 0;
    const double high = bounds.height() > 0 ? pixels.height() / bounds.height() : 0;
    const auto number = [](double value) { return QString::number(value, 'f', 0); };
    return {
        {QStringLiteral("active_display_bounds"), QStringLiteral("%1,%2 %3x%4")
                                                      .arg(number(bounds.x()), number(bounds.y()),
                                                           number(bounds.width()), number(bounds.height()))},
        {QStringLiteral("logical_resolution"), QStringLiteral("%1x%2").arg(number(bounds.width()), number(bounds.height()))},
        {QStringLiteral("physical_resolution"), QStringLiteral("%1x%2").arg(pixels.width()).arg(pixels.height())},
        {QStringLiteral("scale_estimate"), wide > 0 && high > 0 ? (wide + high) / 2 : 0.0},
    };
}

QJsonObject rawSample(const QString& control, const QString& status, const QString& sample)
{
    QJsonObject object{{QStringLiteral("control"), control}, {QStringLiteral("status"), status}};
    const QString hex = firstHexLineFromSample(sample);
    if (!hex.isEmpty())
        object.insert(QStringLiteral("hex"), hex);
    if (!sample.isEmpty())
        object.insert(QStringLiteral("text"), sample);
    return object;
}

QJsonObject reportPayload(const CompatibilityEnvironment& environment, const Contents& contents)
{
    QJsonObject payload{
        {QStringLiteral("schema_version"), 1},
        {QStringLiteral("app"), QStringLiteral("velotap")},
        {QStringLiteral("platform"), QStringLiteral("linux")},
        {QStringLiteral("channel"), QStringLiteral("stable")},
        {QStringLiteral("app_version"), environment.appVersion.isEmpty() ? QStringLiteral("0.9") : environment.appVersion},
        {QStringLiteral("app_build"), environment.appBuild.isEmpty() ? QStringLiteral("1") : environment.appBuild},
        {QStringLiteral("install_id"), currentInstallID(environment.settings.defaults())},
        {QStringLiteral("report_type"), contents.reportType},
        {QStringLiteral("report_format"), contents.reportFormat},
        {QStringLiteral("display_model"), contents.displayModel},
        {QStringLiteral("os_version"), operatingSystemVersion()},
        {QStringLiteral("anonymous"), true},
    };
    if (!lastDescriptorHex().isEmpty())
        payload.insert(QStringLiteral("hid_report_descriptor_hex"), lastDescriptorHex());
    if (!lastDescriptorSummary().isEmpty())
        payload.insert(QStringLiteral("hid_descriptor_summary"), QJsonObject::fromVariantMap(lastDescriptorSummary()));

    payload.insert(QStringLiteral("diagnostics"), displayDiagnostics(environment.displays));
    payload.insert(QStringLiteral("result_summary"), contents.resultSummary);
    payload.insert(QStringLiteral("raw_samples"), contents.rawSamples);
    const QJsonArray devices = QJsonArray::fromVariantList(touchDeviceEntries(environment.devices.devices()));
    payload.insert(QStringLiteral("usb_devices"), devices);
    const QJsonObject first = devices.isEmpty() ? QJsonObject() : devices.at(0).toObject();
    for (const auto& [from, to] : {std::pair{"vendor_id", "usb_vendor_id"}, std::pair{"product_id", "usb_product_id"}}) {
        if (first.contains(QLatin1String(from)))
            payload.insert(QLatin1String(to), first.value(QLatin1String(from)));
    }
    return payload;
}

} // namespace compatreport
