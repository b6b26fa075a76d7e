#pragma once
#include <QByteArray>

#include <cstdint>
#include <utility>
#include <vector>

// The few device properties Linux does not list but a report descriptor tells:
// the usage of the first application collection and the longest input report.
struct HidDescriptorFacts {
    std::int64_t primaryUsagePage = -1; // -1 when the descriptor names none
    std::int64_t primaryUsage = -1;
    // Bytes of the longest input report, the report ID byte included; 0 when
    // the descriptor declares no input.
    std::int64_t maxInputReportSize = 0;
    // (usage page, usage) of every top-level collection, in descriptor order.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> topLevelUsages;
};

HidDescriptorFacts hidDescriptorFacts(const QByteArray& descriptor);
