#include "touch/HidRecording.h"

#include <QFile>
#include <QHash>
#include <QStringList>

#include <cstdint>

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool isSeparator(QChar c)
{
    return c.isSpace() || c == QLatin1Char(':') || c == QLatin1Char(',');
}

struct ParsedDevice {
    QString key;
    HidRecording recording;
};

// "<count> <hex bytes>": the count must match the bytes that follow.
std::optional<QByteArray> countedBytes(const QString& rest, QString* error)
{
    const QString trimmed = rest.trimmed();
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    const QString countText = space < 0 ? trimmed : trimmed.left(space);
    bool ok = false;
    const int count = countText.toInt(&ok);
    if (!ok || count < 0) {
        setError(error, QStringLiteral("bad byte count '%1'").arg(countText));
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = parseHexBytes(space < 0 ? QString() : trimmed.mid(space + 1), error);
    if (!bytes)
        return std::nullopt;
    if (bytes->size() != count) {
        setError(error, QStringLiteral("%1 bytes announced, %2 given").arg(count).arg(bytes->size()));
        return std::nullopt;
    }
    return bytes;
}

} // namespace

std::optional<QByteArray> parseHexBytes(const QString& text, QString* error)
{
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        if (isSeparator(text.at(i))) {
            ++i;
            continue;
        }
        // A run of hex digits, optionally after 0x, read two digits per byte.
        if (text.at(i) == QLatin1Char('0') && i + 1 < n && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X')))
            i += 2;
        const qsizetype start = i;
        while (i < n && hexValue(text.at(i)) >= 0)
            ++i;
        if (i < n && !isSeparator(text.at(i))) {
            setError(error, QStringLiteral("not a hex digit: '%1' at position %2").arg(text.at(i)).arg(i + 1));
            return std::nullopt;
        }
        const qsizetype digits = i - start;
        if (digits == 0) {
            setError(error, QStringLiteral("\"0x\" without digits at position %1").arg(start - 1));
            return std::nullopt;
        }
        if (digits % 2 != 0) {
            setError(error, QStringLiteral("odd number of hex digits in '%1'").arg(text.mid(start, digits)));
            return std::nullopt;
        }
        for (qsizetype d = start; d < i; d += 2)
            bytes.append(char(hexValue(text.at(d)) * 16 + hexValue(text.at(d + 1))));
    }
    return bytes;
}

bool looksLikeHidRecording(const QByteArray& text)
{
    // Raw descriptor bytes nearly always hold control bytes (0x01 and the
    // like); a recording is text.
    for (const char c : text)
        if (std::uint8_t(c) < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return false;
    return text.startsWith("R:") || text.contains("\nR:");
}

std::optional<HidRecording> parseHidRecording(const QByteArray& text, QString* error, int deviceOrdinal)
{
    QList<ParsedDevice> devices;
    QHash<QString, qsizetype> deviceByKey;
    QString currentKey = QStringLiteral("0");
    const auto current = [&]() -> HidRecording* {
        const auto it = deviceByKey.constFind(currentKey);
        return it == deviceByKey.constEnd() ? nullptr : &devices[*it].recording;
    };

    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        QByteArray line = lines.at(number);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() < 2 || line.at(1) != ':' || line.startsWith('#'))
            continue;
        const char kind = line.at(0);
        const QString rest = QString::fromUtf8(line.mid(2));
        QString lineError;
        const auto fail = [&](const QString& why) {
            setError(error, QStringLiteral("line %1: %2").arg(number + 1).arg(why));
            return std::nullopt;
        };
        switch (kind) {
        case 'D':
            currentKey = rest.trimmed();
            break;
        case 'R': {
            std::optional<QByteArray> descriptor = countedBytes(rest, &lineError);
            if (!descriptor)
                return fail(lineError);
            if (!deviceByKey.contains(currentKey)) {
                deviceByKey.insert(currentKey, devices.size());
                devices.append(ParsedDevice{currentKey, {}});
            }
            current()->descriptor = *descriptor;
            break;
        }
        case 'N':
            if (HidRecording* device = current())
                device->name = rest.trimmed();
            break;
        case 'E': {
            HidRecording* device = current();
            if (!device)
                return fail(QStringLiteral("event before the device's descriptor"));
            const QString trimmed = rest.trimmed();
            const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
            bool ok = false;
            const double timestamp = trimmed.left(space < 0 ? trimmed.size() : space).toDouble(&ok);
            if (!ok || space < 0)
                return fail(QStringLiteral("bad event timestamp"));
            std::optional<QByteArray> bytes = countedBytes(trimmed.mid(space + 1), &lineError);
            if (!bytes)
                return fail(lineError);
            device->reports.append(HidRecordedReport{timestamp, *bytes});
            break;
        }
        default:
            break;
        }
    }
    if (devices.isEmpty()) {
        setError(error, QStringLiteral("no report descriptor (R: line) in the recording"));
        return std::nullopt;
    }
    if (deviceOrdinal < 0 || deviceOrdinal >= devices.size()) {
        setError(error, QStringLiteral("the recording holds %1 device(s), not device %2").arg(devices.size()).arg(deviceOrdinal));
        return std::nullopt;
    }
    return devices.at(deviceOrdinal).recording;
}

std::optional<HidRecording> readHidRecordingFile(const QString& path, QString* error, int deviceOrdinal)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return std::nullopt;
    }
    return parseHidRecording(file.readAll(), error, deviceOrdinal);
}
