#include "touch/DebugText.h"

#include "touch/ReportDecoder.h"

#include <QByteArray>

#include <cstdio>

namespace {

void appendFormatted(QByteArray& text, const char* format, auto... values)
{
    char buffer[192];
    const int written = std::snprintf(buffer, sizeof buffer, format, values...);
    if (written > 0)
        text.append(buffer, qMin<qsizetype>(written, qsizetype(sizeof buffer) - 1));
}

const char* hybridWord(const TouchContactList& list, bool hybridModeObserved)
{
    if (list.continuation)
        return "continuation";
    return hybridModeObserved ? "observed" : "no";
}

} // namespace

QString debugTextForReport(const std::uint8_t* report, std::size_t length, const TouchContactList& list,
                           const QString& decoderStatus, const TouchLayout& layout, bool hybridModeObserved)
{
    static const char hexDigits[] = "0123456789abcdef";
    const std::size_t byteCount = report ? length : 0;

    QByteArray head;
    head.reserve(qsizetype(16 + byteCount * 3 + 10));
    appendFormatted(head, "%04ld bytes:", long(length));
    for (std::size_t i = 0; i < byteCount; ++i) {
        head.append(' ');
        head.append(hexDigits[report[i] >> 4]);
        head.append(hexDigits[report[i] & 0x0F]);
    }
    head.append("\ndecoder=");

    QString text = QString::fromLatin1(head);
    text.append(decoderStatus.isEmpty() ? QStringLiteral("No descriptor decoder") : decoderStatus);
    if (!layout.valid)
        return text;

    QByteArray tail;
    tail.reserve(160 + 90 * kMaxTouchSlots);
    appendFormatted(tail, " report=%u frame=%d reported=%d contacts=%d slots=%d hybridOffset=%d hybrid=%s complete=%s",
                    unsigned(layout.reportID), int(list.frameContactCount), int(list.frameContactCount),
                    int(list.count), int(list.slotCount), int(list.hybridOffset),
                    hybridWord(list, hybridModeObserved), list.complete ? "yes" : "no");
    const int count = qBound(0, list.count, kMaxTouchSlots);
    for (int i = 0; i < count; ++i) {
        const TouchContact& contact = list.contacts[i];
        const QLatin1String kind = contactKindName(contact.kind);
        appendFormatted(tail, "\n  slot=%d id=%3u flags=0x%02x down kind=%-7.*s x=%5u y=%5u marker=0x%04x",
                        int(contact.slot), unsigned(contact.contactID), unsigned(contact.flags), int(kind.size()),
                        kind.data(), unsigned(contact.rawX), unsigned(contact.rawY), unsigned(contact.marker));
    }
    text.append(QLatin1String(tail));
    return text;
}
