#include "touch/HidRecording.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstdint>
#include <utility>

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

// Follows a recording line by line for one of its devices: files with
// several devices ("D:" lines) hold each device's descriptor in order of
// appearance, and their events each under the device's "D:" key.
class LineParser {
public:
    enum class Result { Nothing, Report, Cut, Error };

    explicit LineParser(int deviceOrdinal) : m_ordinal(deviceOrdinal) {}

    // One line without its end; `complete` is false for a last line that
    // has no line end, which is left out rather than failing when it does
    // not parse (a recorder stopped in the middle of writing it).
    Result feed(QByteArray line, qsizetype number, bool complete, HidRecordedReport& report, QString* error)
    {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.size() < 2 || line.at(1) != ':' || line.startsWith('#'))
            return Result::Nothing;
        const char kind = line.at(0);
        const QString rest = QString::fromUtf8(line.mid(2));
        QString lineError;
        const auto fail = [&](const QString& why) {
            if (!complete)
                return Result::Cut;
            setError(error, QStringLiteral("line %1: %2").arg(number + 1).arg(why));
            return Result::Error;
        };
        switch (kind) {
        case 'D':
            m_currentKey = rest.trimmed();
            return Result::Nothing;
        case 'R': {
            const std::optional<QByteArray> descriptor = countedBytes(rest, &lineError);
            if (!descriptor)
                return fail(lineError);
            if (!m_keys.contains(m_currentKey))
                m_keys.append(m_currentKey);
            if (isChosen())
                m_descriptor = *descriptor;
            return Result::Nothing;
        }
        case 'N':
            if (isChosen())
                m_name = rest.trimmed();
            return Result::Nothing;
        case 'E': {
            if (!m_keys.contains(m_currentKey))
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
            if (!isChosen())
                return Result::Nothing;
            report = HidRecordedReport{timestamp, std::move(*bytes)};
            return Result::Report;
        }
        default:
            return Result::Nothing;
        }
    }

    bool found() const { return m_ordinal >= 0 && m_ordinal < m_keys.size(); }
    QString notFound() const
    {
        if (m_keys.isEmpty())
            return QStringLiteral("no report descriptor (R: line) in the recording");
        return QStringLiteral("the recording holds %1 device(s), not device %2").arg(m_keys.size()).arg(m_ordinal);
    }
    const QString& name() const { return m_name; }
    const QByteArray& descriptor() const { return m_descriptor; }

private:
    int m_ordinal;
    QString m_currentKey = QStringLiteral("0");
    QStringList m_keys; // in order of their first descriptor
    QString m_name;
    QByteArray m_descriptor;

    bool isChosen() const { return m_keys.indexOf(m_currentKey) == m_ordinal; }
};

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
    static const QRegularExpression descriptorLine(QStringLiteral("(^|\\n)R: \\d+ "));
    return descriptorLine.match(QString::fromLatin1(text)).hasMatch();
}

std::optional<HidRecording> parseHidRecording(const QByteArray& text, QString* error, int deviceOrdinal)
{
    LineParser parser(deviceOrdinal);
    HidRecording recording;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype number = 0; number < lines.size(); ++number) {
        // The piece after the last line end has none.
        const bool complete = number + 1 < lines.size();
        HidRecordedReport report;
        switch (parser.feed(lines.at(number), number, complete, report, error)) {
        case LineParser::Result::Report:
            recording.reports.append(std::move(report));
            break;
        case LineParser::Result::Cut:
            recording.lastLineCut = true;
            break;
        case LineParser::Result::Error:
            return std::nullopt;
        case LineParser::Result::Nothing:
            break;
        }
    }
    if (!parser.found()) {
        setError(error, parser.notFound());
        return std::nullopt;
    }
    recording.name = parser.name();
    recording.descriptor = parser.descriptor();
    return recording;
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

struct HidRecordingReader::State {
    explicit State(int ordinal) : parser(ordinal) {}
    QFile file;
    LineParser parser;
    qsizetype lineNumber = 0;
    std::optional<HidRecordedReport> waiting; // read while looking for the header
    QString error;
    bool cut = false;
    bool ended = false;

    // The device's next report; nothing at the end (error or cut set when so).
    std::optional<HidRecordedReport> read()
    {
        while (!ended) {
            QByteArray line = file.readLine();
            if (line.isEmpty()) {
                if (file.error() != QFileDevice::NoError)
                    error = file.errorString();
                ended = true;
                break;
            }
            const bool complete = line.endsWith('\n');
            if (complete)
                line.chop(1);
            HidRecordedReport report;
            switch (parser.feed(line, lineNumber++, complete, report, &error)) {
            case LineParser::Result::Report:
                return report;
            case LineParser::Result::Cut:
                cut = true;
                ended = true;
                break;
            case LineParser::Result::Error:
                ended = true;
                break;
            case LineParser::Result::Nothing:
                break;
            }
        }
        return std::nullopt;
    }
};

HidRecordingReader::HidRecordingReader(std::unique_ptr<State> state) : m_state(std::move(state)) {}
HidRecordingReader::~HidRecordingReader() = default;

std::unique_ptr<HidRecordingReader> HidRecordingReader::open(const QString& path, QString* error, int deviceOrdinal)
{
    auto state = std::make_unique<State>(deviceOrdinal);
    state->file.setFileName(path);
    if (!state->file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("cannot read %1: %2").arg(path, state->file.errorString()));
        return nullptr;
    }
    // The header is whatever comes before the device's first report.
    state->waiting = state->read();
    if (!state->error.isEmpty() || !state->parser.found()) {
        setError(error, state->error.isEmpty() ? state->parser.notFound() : state->error);
        return nullptr;
    }
    return std::unique_ptr<HidRecordingReader>(new HidRecordingReader(std::move(state)));
}

const QString& HidRecordingReader::name() const { return m_state->parser.name(); }
const QByteArray& HidRecordingReader::descriptor() const { return m_state->parser.descriptor(); }
const QString& HidRecordingReader::error() const { return m_state->error; }
bool HidRecordingReader::lastLineCut() const { return m_state->cut; }

bool HidRecordingReader::next(HidRecordedReport& report)
{
    std::optional<HidRecordedReport> read = std::exchange(m_state->waiting, std::nullopt);
    if (!read)
        read = m_state->read();
    if (!read)
        return false;
    report = std::move(*read);
    return true;
}
