#include "app/cli/Commands.h"
#include "app/cli/Output.h"

#include "touch/DebugText.h"
#include "touch/DescriptorSummary.h"
#include "touch/HidRecording.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cctype>
#include <optional>

namespace cli {
namespace {

const char* const kInvalidLayoutText = "Descriptor parser could not build touch layout";

// What a SOURCE argument gave: the descriptor, and the recording when the
// source was one, read no further than its descriptor yet.
struct DescriptorSource {
    QByteArray descriptor;
    std::unique_ptr<HidRecordingReader> recording;
};

// A report descriptor is a few kilobytes at most; a larger file that is no
// recording is not one.
constexpr qint64 kLargestDescriptorFile = 1024 * 1024;

const std::uint8_t* data(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

// A text file of nothing but hex digits and separators spells its
// descriptor; raw descriptor bytes never look like that.
std::optional<QByteArray> hexText(const QByteArray& content)
{
    for (const char c : content)
        if (std::uint8_t(c) >= 0x80 || (std::uint8_t(c) < 0x20 && !std::isspace(std::uint8_t(c))))
            return std::nullopt;
    return parseHexBytes(QString::fromLatin1(content));
}

// A SOURCE is a file (a recording when it has an "R:" line, hex text or raw
// descriptor bytes otherwise) or, when no such file exists, a hex string.
std::optional<DescriptorSource> loadSource(const QString& source, const char* command)
{
    const QFileInfo info(source);
    if (info.exists() && !info.isDir()) {
        QFile file(source);
        if (!file.open(QIODevice::ReadOnly)) {
            err() << "velotap " << command << ": cannot read " << source << ": " << file.errorString() << "\n";
            return std::nullopt;
        }
        // The start tells a recording, which is then read line by line.
        if (!looksLikeHidRecording(file.peek(64 * 1024))) {
            if (file.size() > kLargestDescriptorFile) {
                err() << "velotap " << command << ": " << source << " is neither a recording nor a report descriptor ("
                      << file.size() << " bytes)\n";
                return std::nullopt;
            }
            const QByteArray content = file.readAll();
            return DescriptorSource{hexText(content).value_or(content), nullptr};
        }
        QString error;
        std::unique_ptr<HidRecordingReader> recording = HidRecordingReader::open(source, &error);
        if (!recording) {
            err() << "velotap " << command << ": " << source << " is not a readable recording: " << error << "\n";
            return std::nullopt;
        }
        QByteArray descriptor = recording->descriptor();
        return DescriptorSource{std::move(descriptor), std::move(recording)};
    }
    if (info.isDir()) {
        err() << "velotap " << command << ": " << source << " is a directory\n";
        return std::nullopt;
    }
    QString error;
    std::optional<QByteArray> bytes = parseHexBytes(source, &error);
    if (!bytes) {
        if (source.contains(QLatin1Char('/')) || source.contains(QLatin1Char('.')))
            err() << "velotap " << command << ": no such file: " << source << "\n";
        else
            err() << "velotap " << command << ": '" << source << "' is neither an existing file nor a hex string ("
                  << error << ")\n";
        return std::nullopt;
    }
    return DescriptorSource{*bytes, nullptr};
}

TouchLayout layoutOf(const QByteArray& descriptor)
{
    return parseReportDescriptor(data(descriptor), std::size_t(descriptor.size()));
}

// The decoder status a touch bridge would show after trying this
// descriptor, so that decoded texts say why nothing is decoded.
QString decoderStatusFor(const QByteArray& descriptor, const TouchLayout& layout)
{
    if (layout.valid)
        return decoderStatusText(layout);
    return descriptor.isEmpty() ? QStringLiteral("HID report descriptor unavailable") : QString::fromLatin1(kInvalidLayoutText);
}

// The failure, and on a second line what the walk was missing.
void reportInvalidLayout(const QByteArray& descriptor, const TouchLayout& layout, const char* command)
{
    err() << kInvalidLayoutText << "\nvelotap " << command << ": ";
    if (descriptor.isEmpty())
        err() << "the descriptor is empty\n";
    else if (!layout.hasFingerCollection && !layout.hasPenCollection)
        err() << "no collection holds a contact (Tip Switch, Contact Identifier, X and Y)\n";
    else
        err() << "no Finger, Stylus or Pen collection has all of Tip Switch, Contact Identifier, X and Y\n";
}

QString cell(std::int32_t offset)
{
    return offset < 0 ? QStringLiteral("-") : QString::number(offset);
}

QString bitsCell(std::int32_t offset, std::int32_t length)
{
    return offset < 0 ? QStringLiteral("-") : QStringLiteral("%1:%2").arg(offset).arg(length);
}

QString rangeCell(std::int32_t minimum, std::int32_t maximum)
{
    return QStringLiteral("%1..%2").arg(minimum).arg(maximum);
}

void printSlotTable(const TouchLayout& layout)
{
    if (layout.reportIDByteOffset < 0)
        out() << "\nreports without ID";
    else
        out() << "\nreport " << uint(layout.reportID);
    out() << ", " << layout.contactCount << " slot(s), contact count "
          << (layout.hasContactCount ? bitsCell(layout.contactCountBitOffset, layout.contactCountBitLength)
                                     : QStringLiteral("unavailable"))
          << "\n";
    const QStringList header = {QStringLiteral("slot"), QStringLiteral("kind"), QStringLiteral("tip"),
                                QStringLiteral("range"), QStringLiteral("valid"), QStringLiteral("invert"),
                                QStringLiteral("eraser"), QStringLiteral("id"), QStringLiteral("x"),
                                QStringLiteral("y"), QStringLiteral("x range"), QStringLiteral("y range"),
                                QStringLiteral("width"), QStringLiteral("height")};
    QList<QStringList> rows{header};
    for (int i = 0; i < layout.contactCount && i < kMaxTouchSlots; ++i) {
        const TouchSlotLayout& s = layout.contacts[i];
        rows.append({QString::number(s.slot), QString(contactKindName(s.preferredKind)), cell(s.tipSwitchBitOffset),
                     cell(s.inRangeBitOffset), cell(s.touchValidBitOffset), cell(s.invertBitOffset),
                     cell(s.eraserBitOffset), bitsCell(s.contactIdBitOffset, s.contactIdBitLength),
                     bitsCell(s.xBitOffset, s.xBitLength), bitsCell(s.yBitOffset, s.yBitLength),
                     rangeCell(s.xLogicalMinimum, s.xLogicalMaximum), rangeCell(s.yLogicalMinimum, s.yLogicalMaximum),
                     bitsCell(s.widthBitOffset, s.widthBitLength), bitsCell(s.heightBitOffset, s.heightBitLength)});
    }
    QList<qsizetype> widths(header.size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            widths[c] = qMax(widths[c], row[c].size());
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += c + 1 < row.size() ? row[c].leftJustified(widths[c] + 2) : row[c];
        out() << line << "\n";
    }
}

} // namespace

int describe(const QStringList& args)
{
    if (args.isEmpty()) {
        err() << "usage: velotap describe SOURCE\n"
                 "SOURCE is a hex string, a file of raw descriptor bytes or hex text, or a hid-recorder recording.\n";
        return 2;
    }
    // Hex bytes given as separate arguments are one descriptor.
    const QString source = args.size() == 1 ? args.first() : args.join(QLatin1Char(' '));
    const std::optional<DescriptorSource> loaded = loadSource(source, "describe");
    if (!loaded)
        return 2;
    const TouchLayout layout = layoutOf(loaded->descriptor);
    if (!layout.valid) {
        reportInvalidLayout(loaded->descriptor, layout, "describe");
        return 1;
    }
    out() << QJsonDocument(QJsonObject::fromVariantMap(descriptorSummary(layout))).toJson(QJsonDocument::Indented);
    printSlotTable(layout);
    out().flush();
    return 0;
}

int decode(const QStringList& args)
{
    if (args.isEmpty()) {
        err() << "usage: velotap decode SOURCE [REPORT...]\n"
                 "Each REPORT is a hex string; with a recording as SOURCE and no REPORT, its reports are decoded.\n";
        return 2;
    }
    const std::optional<DescriptorSource> loaded = loadSource(args.first(), "decode");
    if (!loaded)
        return 2;

    QList<QByteArray> reports;
    for (qsizetype i = 1; i < args.size(); ++i) {
        QString error;
        const std::optional<QByteArray> report = parseHexBytes(args.at(i), &error);
        if (!report) {
            err() << "velotap decode: report '" << args.at(i) << "' is not a hex string (" << error << ")\n";
            return 2;
        }
        reports.append(*report);
    }
    if (reports.isEmpty() && !loaded->recording) {
        err() << "velotap decode: no REPORT given and " << args.first() << " is not a recording\n";
        return 2;
    }

    const TouchLayout layout = layoutOf(loaded->descriptor);
    // Without a layout nothing decodes: the texts show the bytes and why.
    const QString status = decoderStatusFor(loaded->descriptor, layout);
    TouchReportDecoder decoder(layout);
    const auto print = [&](const QByteArray& report) {
        const TouchContactList list = decoder.contactsFromReport(data(report), std::size_t(report.size()));
        out() << debugTextForReport(data(report), std::size_t(report.size()), list, status, layout,
                                    decoder.hybridModeObserved())
              << "\n";
    };
    if (!reports.isEmpty()) {
        for (const QByteArray& report : reports)
            print(report);
    } else {
        // A recording's reports, one at a time as they are read.
        HidRecordedReport report;
        while (loaded->recording->next(report))
            print(report.bytes);
        out().flush();
        if (!loaded->recording->error().isEmpty()) {
            err() << "velotap decode: " << args.first() << ": " << loaded->recording->error() << "\n";
            return 2;
        }
        if (loaded->recording->lastLineCut())
            err() << "velotap decode: the last line of " << args.first() << " is cut off; the reports before it are shown\n";
    }
    out().flush();
    if (!layout.valid) {
        reportInvalidLayout(loaded->descriptor, layout, "decode");
        return 1;
    }
    return 0;
}

} // namespace cli
