// The per-report path: parsing a ten-finger descriptor, decoding a report of
// eight contacts, and the debug text and contact dictionaries of that report.
#include "touch/ContactDictionaries.h"
#include "touch/DebugText.h"
#include "touch/DescriptorSummary.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void append(std::vector<std::uint8_t>& out, std::initializer_list<std::uint8_t> items)
{
    out.insert(out.end(), items);
}

// Report 1: ten Finger collections of 64 bits (Tip Switch, In Range, Touch
// Valid, padding, 8-bit Contact Identifier, 16-bit X and Y, 8-bit Width and
// Height), then an 8-bit Contact Count. The layout keeps eight of them.
std::vector<std::uint8_t> tenFingerDescriptor()
{
    std::vector<std::uint8_t> d;
    append(d, {0x05, 0x0D, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01});
    for (int i = 0; i < 10; ++i) {
        append(d, {0x05, 0x0D, 0x09, 0x22, 0xA1, 0x02, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01});
        append(d, {0x09, 0x42, 0x81, 0x02, 0x09, 0x32, 0x81, 0x02, 0x09, 0x47, 0x81, 0x02});
        append(d, {0x95, 0x05, 0x81, 0x03, 0x75, 0x08, 0x95, 0x01, 0x25, 0x7F, 0x09, 0x51, 0x81, 0x02});
        append(d, {0x05, 0x01, 0x26, 0xFF, 0x7F, 0x75, 0x10, 0x09, 0x30, 0x81, 0x02, 0x09, 0x31, 0x81, 0x02});
        append(d, {0x05, 0x0D, 0x75, 0x08, 0x26, 0xFF, 0x00, 0x09, 0x48, 0x81, 0x02, 0x09, 0x49, 0x81, 0x02, 0xC0});
    }
    append(d, {0x05, 0x0D, 0x09, 0x54, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0});
    return d;
}

std::vector<std::uint8_t> eightContactReport()
{
    std::vector<std::uint8_t> report(1 + 10 * 8 + 1, 0);
    report[0] = 1;
    for (int i = 0; i < 8; ++i) {
        std::uint8_t* slot = &report[std::size_t(1 + i * 8)];
        slot[0] = 0x07;
        slot[1] = std::uint8_t(i + 1);
        slot[2] = std::uint8_t(i * 37);
        slot[3] = std::uint8_t(0x10 + i);
        slot[4] = std::uint8_t(i * 91);
        slot[5] = std::uint8_t(0x20 + i);
        slot[6] = 8;
        slot[7] = 8;
    }
    report.back() = 8;
    return report;
}

void BM_ParseTenFingerDescriptor(benchmark::State& state)
{
    const std::vector<std::uint8_t> descriptor = tenFingerDescriptor();
    for (auto _ : state) {
        TouchLayout layout = parseReportDescriptor(descriptor.data(), descriptor.size());
        benchmark::DoNotOptimize(layout);
    }
    state.counters["bytes"] = double(descriptor.size());
}
BENCHMARK(BM_ParseTenFingerDescriptor);

void BM_DecodeEightContactReport(benchmark::State& state)
{
    const std::vector<std::uint8_t> descriptor = tenFingerDescriptor();
    TouchReportDecoder decoder(parseReportDescriptor(descriptor.data(), descriptor.size()));
    const std::vector<std::uint8_t> report = eightContactReport();
    for (auto _ : state) {
        TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
        benchmark::DoNotOptimize(list);
    }
    if (decoder.contactsFromReport(report.data(), report.size()).count != 8)
        state.SkipWithError("expected eight contacts");
}
BENCHMARK(BM_DecodeEightContactReport);

void BM_DebugTextEightContacts(benchmark::State& state)
{
    const std::vector<std::uint8_t> descriptor = tenFingerDescriptor();
    const TouchLayout layout = parseReportDescriptor(descriptor.data(), descriptor.size());
    TouchReportDecoder decoder(layout);
    const std::vector<std::uint8_t> report = eightContactReport();
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    const QString status = decoderStatusText(layout);
    for (auto _ : state) {
        QString text = debugTextForReport(report.data(), report.size(), list, status, layout, false);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_DebugTextEightContacts);

void BM_ContactDictionariesEightContacts(benchmark::State& state)
{
    const std::vector<std::uint8_t> descriptor = tenFingerDescriptor();
    TouchReportDecoder decoder(parseReportDescriptor(descriptor.data(), descriptor.size()));
    const std::vector<std::uint8_t> report = eightContactReport();
    const TouchContactList list = decoder.contactsFromReport(report.data(), report.size());
    for (auto _ : state) {
        QVariantList dictionaries = contactDictionariesFromList(list, QRectF(0, 0, 1920, 1080));
        benchmark::DoNotOptimize(dictionaries);
    }
}
BENCHMARK(BM_ContactDictionariesEightContacts);

} // namespace
