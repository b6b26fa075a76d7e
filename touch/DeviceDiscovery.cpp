#include "touch/DeviceDiscovery.h"

#include "touch/ReportDescriptorParser.h"

#include <QSet>

#include <algorithm>

namespace {

const QString kAuto = QStringLiteral("auto");

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QString cleanedSignatureField(const HidDeviceInfo& device, const QString& key)
{
    QString text = stringPropertyOrDash(device, key);
    text.replace(QLatin1Char(':'), QLatin1Char('_'));
    text.replace(QLatin1Char('|'), QLatin1Char('_'));
    return text;
}

QString hexField(std::int64_t value, int digits)
{
    return QStringLiteral("%1").arg(qulonglong(std::max<std::int64_t>(value, 0)), digits, 16, QLatin1Char('0'));
}

// Hexadecimal unsigned 32-bit, "0x" allowed, at least one digit, nothing else;
// leading zeros do not count against the width.
std::optional<std::uint32_t> parseHex32(QStringView text)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        text = text.mid(2);
    if (text.isEmpty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const int digit = (u >= '0' && u <= '9') ? u - '0'
                          : (u >= 'a' && u <= 'f') ? u - 'a' + 10
                          : (u >= 'A' && u <= 'F') ? u - 'A' + 10
                                                   : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + std::uint64_t(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return std::uint32_t(value);
}

// Whether one of the device's top-level collections has this usage page
// and, unless it is -1, this usage.
bool hasTopLevelCollection(const HidDeviceInfo& device, std::int64_t page, std::int64_t usage = -1)
{
    const QVariantList pairs = device.properties.value(HidProperty::DeviceUsagePairs).toList();
    return std::any_of(pairs.begin(), pairs.end(), [&](const QVariant& pair) {
        const QVariantMap map = pair.toMap();
        return map.value(HidProperty::DeviceUsagePage).toLongLong() == page
            && (usage < 0 || map.value(HidProperty::DeviceUsage).toLongLong() == usage);
    });
}

bool parsesToValidLayout(const QByteArray& descriptor, TouchLayout* layout = nullptr)
{
    if (descriptor.isEmpty())
        return false;
    const TouchLayout parsed = parseReportDescriptor(reinterpret_cast<const std::uint8_t*>(descriptor.constData()),
                                                     std::size_t(descriptor.size()));
    if (layout)
        *layout = parsed;
    return parsed.valid;
}

} // namespace

std::int64_t numberProperty(const HidDeviceInfo& device, const QString& key)
{
    const QVariant value = device.properties.value(key);
    if (!isNumber(value))
        return -1;
    return std::int32_t(std::uint32_t(value.toLongLong() & 0xFFFFFFFF));
}

std::optional<QString> stringProperty(const HidDeviceInfo& device, const QString& key)
{
    const QVariant value = device.properties.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

QString stringPropertyOrDash(const HidDeviceInfo& device, const QString& key)
{
    const std::optional<QString> text = stringProperty(device, key);
    return text && !text->isEmpty() ? *text : QStringLiteral("-");
}

QString hexPropertyText(std::int64_t value, int digits)
{
    if (value < 0)
        return QStringLiteral("unknown");
    return QStringLiteral("0x") + hexField(value, digits);
}

QByteArray reportDescriptorData(const HidDeviceInfo& device)
{
    const QVariant value = device.properties.value(HidProperty::ReportDescriptor);
    return value.typeId() == QMetaType::QByteArray ? value.toByteArray() : QByteArray();
}

QString deviceSignature(const HidDeviceInfo& device)
{
    return QStringList{hexField(numberProperty(device, HidProperty::VendorID), 4),
                       hexField(numberProperty(device, HidProperty::ProductID), 4),
                       hexField(numberProperty(device, HidProperty::LocationID), 8),
                       cleanedSignatureField(device, HidProperty::Manufacturer),
                       cleanedSignatureField(device, HidProperty::Product),
                       cleanedSignatureField(device, HidProperty::SerialNumber)}
        .join(QLatin1Char(':'));
}

bool isTouchCandidate(const HidDeviceInfo& device)
{
    if (numberProperty(device, HidProperty::PrimaryUsagePage) == HidUsage::DigitizerPage)
        return true;
    // Large displays often lead with a mouse or vendor collection; their
    // digitizer comes later.
    if (hasTopLevelCollection(device, HidUsage::DigitizerPage))
        return true;
    const QString name = QStringLiteral("%1 %2")
                             .arg(stringProperty(device, HidProperty::Manufacturer).value_or(QString()),
                                  stringProperty(device, HidProperty::Product).value_or(QString()))
                             .toLower();
    if (name.contains(QLatin1String("multi-touch")) || name.contains(QLatin1String("multitouch"))
        || name.contains(QLatin1String("touchscreen")))
        return true;
    return name.contains(QLatin1String("touch")) && name.contains(QLatin1String("display"));
}

QString normalizedDeviceSelection(const QString& deviceSelection)
{
    return deviceSelection.isEmpty() ? kAuto : deviceSelection;
}

bool isAutomaticSelection(const QString& deviceSelection)
{
    return normalizedDeviceSelection(deviceSelection) == kAuto;
}

DeviceMatching DeviceMatching::forSelection(const QString& deviceSelection)
{
    DeviceMatching matching;
    if (isAutomaticSelection(deviceSelection))
        return matching;
    const QList<QStringView> pieces = QStringView(deviceSelection).split(QLatin1Char(':'));
    if (pieces.size() < 2)
        return matching;
    const auto vendor = parseHex32(pieces[0]);
    const auto product = parseHex32(pieces[1]);
    if (vendor && product) {
        matching.byVendorAndProduct = true;
        matching.vendorID = *vendor;
        matching.productID = *product;
    }
    return matching;
}

bool DeviceMatching::matches(const HidDeviceInfo& device) const
{
    if (byVendorAndProduct) {
        const QVariant vendor = device.properties.value(HidProperty::VendorID);
        const QVariant product = device.properties.value(HidProperty::ProductID);
        return isNumber(vendor) && isNumber(product) && std::uint32_t(vendor.toLongLong()) == vendorID
            && std::uint32_t(product.toLongLong()) == productID;
    }
    // Any top-level collection may be the touch screen, not only the first.
    if (hasTopLevelCollection(device, HidUsage::DigitizerPage, HidUsage::TouchScreen))
        return true;
    return numberProperty(device, HidProperty::PrimaryUsagePage) == HidUsage::DigitizerPage
        && numberProperty(device, HidProperty::PrimaryUsage) == HidUsage::TouchScreen;
}

std::vector<HidDeviceInfo> matchingDevices(const std::vector<HidDeviceInfo>& devices, const QString& deviceSelection)
{
    const DeviceMatching matching = DeviceMatching::forSelection(deviceSelection);
    std::vector<HidDeviceInfo> result;
    for (const HidDeviceInfo& device : devices) {
        if (matching.matches(device))
            result.push_back(device);
    }
    return result;
}

DeviceChoice chooseDevice(const std::vector<HidDeviceInfo>& devices, const QString& deviceSelection,
                          QString& decoderStatus)
{
    const bool automatic = isAutomaticSelection(deviceSelection);
    DeviceChoice choice;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const HidDeviceInfo& device = devices[i];
        if (automatic ? !isTouchCandidate(device) : deviceSignature(device) != deviceSelection)
            continue;
        const QByteArray descriptor = reportDescriptorData(device);
        if (descriptor.isEmpty()) {
            decoderStatus = QStringLiteral("HID report descriptor unavailable");
            continue;
        }
        TouchLayout layout;
        if (!parsesToValidLayout(descriptor, &layout)) {
            decoderStatus = QStringLiteral("Descriptor parser could not build touch layout");
            continue;
        }
        choice.index = int(i);
        choice.layout = layout;
        return choice;
    }
    return choice;
}

QString deviceTitle(const HidDeviceInfo& device)
{
    QString name = stringProperty(device, HidProperty::Product).value_or(QString());
    if (name.isEmpty())
        name = stringProperty(device, HidProperty::Manufacturer).value_or(QString());
    if (name.isEmpty())
        name = QStringLiteral("HID touch device");
    return QStringLiteral("%1 (%2:%3)").arg(name, hexPropertyText(numberProperty(device, HidProperty::VendorID), 4),
                                            hexPropertyText(numberProperty(device, HidProperty::ProductID), 4));
}

QVariantMap DeviceCatalogueEntry::toMap() const
{
    return {{QStringLiteral("signature"), signature}, {QStringLiteral("title"), title}, {QStringLiteral("supported"), supported}};
}

std::vector<DeviceCatalogueEntry> deviceCatalogue(const std::vector<HidDeviceInfo>& devices)
{
    std::vector<DeviceCatalogueEntry> entries;
    QSet<QString> seen;
    for (const HidDeviceInfo& device : devices) {
        const bool supported = parsesToValidLayout(reportDescriptorData(device));
        if (!supported && !isTouchCandidate(device))
            continue;
        const QString signature = deviceSignature(device);
        if (seen.contains(signature))
            continue;
        seen.insert(signature);
        entries.push_back({signature, deviceTitle(device), supported});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const DeviceCatalogueEntry& a, const DeviceCatalogueEntry& b) {
        if (a.supported != b.supported)
            return a.supported;
        return a.title.compare(b.title, Qt::CaseInsensitive) < 0;
    });
    return entries;
}

QVariantList touchDeviceEntries(const std::vector<HidDeviceInfo>& devices)
{
    QVariantList entries;
    QSet<QString> seen;
    for (const HidDeviceInfo& device : devices) {
        if (!isTouchCandidate(device))
            continue;
        const QString signature = deviceSignature(device);
        if (seen.contains(signature))
            continue;
        seen.insert(signature);
        const auto idText = [&](const QString& key) {
            const std::int64_t value = numberProperty(device, key);
            return value < 0 ? QStringLiteral("unknown") : hexField(value, 4);
        };
        QVariantMap entry{
            {QStringLiteral("vendor_id"), idText(HidProperty::VendorID)},
            {QStringLiteral("product_id"), idText(HidProperty::ProductID)},
            {QStringLiteral("product_string"), stringPropertyOrDash(device, HidProperty::Product)},
            {QStringLiteral("manufacturer_string"), stringPropertyOrDash(device, HidProperty::Manufacturer)},
            {QStringLiteral("transport"), stringPropertyOrDash(device, HidProperty::Transport)},
        };
        if (device.properties.contains(HidProperty::MaxInputReportSize))
            entry.insert(QStringLiteral("max_input_report_size"), qint64(numberProperty(device, HidProperty::MaxInputReportSize)));
        entries.append(entry);
    }
    return entries;
}
