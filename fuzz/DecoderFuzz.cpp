// Parser and decoder together. The first byte gives the descriptor's length
// (scaled), the rest of the input is cut into reports whose lengths come from
// one byte each; every report is decoded, carrying the frame state, put into
// frames, and its debug text built.
#include "touch/ContactDictionaries.h"
#include "touch/DebugText.h"
#include "touch/DescriptorSummary.h"
#include "touch/ReportDecoder.h"
#include "touch/ReportDescriptorParser.h"
#include "touch/TouchFrameAssembler.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t descriptorLength = std::min<std::size_t>(std::size_t(data[0]) * 2, size - 1);
    const std::uint8_t* descriptor = data + 1;
    const TouchLayout layout = parseReportDescriptor(descriptor, descriptorLength);
    const QString status = layout.valid ? decoderStatusText(layout) : QString();

    TouchReportDecoder decoder(layout);
    TouchFrameAssembler assembler;
    assembler.setLayout(layout);
    std::size_t at = 1 + descriptorLength;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        const std::uint8_t* report = data + at + 1;
        const TouchContactList list = decoder.contactsFromReport(report, length);
        if (list.count < 0 || list.count > layout.contactCount || decoder.hybridOffset() < 0)
            std::abort();
        if (list.complete && decoder.hybridOffset() != 0)
            std::abort();
        if (assembler.add(list, report, length) && (assembler.frame().count < 0 || assembler.frame().count > kMaxTouchSlots))
            std::abort();
        debugTextForReport(report, length, list, status, layout, decoder.hybridModeObserved());
        contactDictionariesFromList(list, QRectF(0, 0, 1920, 1080));
        at += 1 + length;
    }
    return 0;
}
