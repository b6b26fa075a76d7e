#pragma once
#include "touch/TouchTypes.h"

#include <QLatin1String>

#include <bit>
#include <cstring>
#include <cstddef>
#include <cstdint>

// The name of a contact kind in texts and dictionaries; values outside the
// known kinds are named "finger".
QLatin1String contactKindName(std::int64_t kind);

// Reads up to 32 bits, least significant first, from a bit position counted
// from bit 0 of the report's first byte. Bits at or beyond the report's end
// read as 0; a negative offset or a length below 1 gives 0.
// Inline: the decoder calls it for every field of every slot.
inline std::uint32_t readBits(const std::uint8_t* report, std::size_t length, std::int32_t bitOffset,
                              std::int32_t bitLength)
{
    if (bitOffset < 0 || bitLength < 1 || !report)
        return 0;
    const std::size_t first = std::size_t(bitOffset) >> 3;
    if (first >= length)
        return 0;
    const unsigned shift = unsigned(bitOffset) & 7;
    // Bits are consecutive, so the read simply stops at the report's end.
    std::uint64_t bits = bitLength > 32 ? 32 : std::uint64_t(bitLength);
    const std::uint64_t available = std::uint64_t(length - first) * 8 - shift;
    if (available < bits)
        bits = available;
    std::uint64_t value = 0;
    if (std::endian::native == std::endian::little && length - first >= sizeof value) {
        // One unaligned load covers any field of up to 32 bits at any shift.
        std::memcpy(&value, report + first, sizeof value);
    } else {
        const std::size_t byteCount = (shift + bits + 7) >> 3; // at most 5
        for (std::size_t i = 0; i < byteCount; ++i)
            value |= std::uint64_t(report[first + i]) << (8 * i);
    }
    const std::uint64_t mask = (std::uint64_t(1) << bits) - 1;
    return std::uint32_t((value >> shift) & mask);
}


// Decodes one input report with a layout. hybridOffset and hybridModeObserved
// are the caller's frame state, read and updated; a report that is not the
// touch report leaves them unchanged. Allocates nothing.
TouchContactList contactsFromReport(const TouchLayout& layout, const std::uint8_t* report, std::size_t length,
                                    std::int32_t& hybridOffset, bool& hybridModeObserved);

// A layout together with the hybrid-frame state that carries from one report
// to the next; the touch bridge owns one per device.
class TouchReportDecoder {
public:
    TouchReportDecoder() = default;
    explicit TouchReportDecoder(const TouchLayout& layout) : _layout(layout) { }

    // Takes a new layout and starts from a clean frame state.
    void setLayout(const TouchLayout& layout);
    const TouchLayout& layout() const { return _layout; }

    TouchContactList contactsFromReport(const std::uint8_t* report, std::size_t length);

    // Clears the frame state, as when touch starts or stops.
    void resetHybridState();
    std::int32_t hybridOffset() const { return _hybridOffset; }
    bool hybridModeObserved() const { return _hybridModeObserved; }

private:
    TouchLayout _layout{};
    std::int32_t _hybridOffset = 0;
    bool _hybridModeObserved = false;
};
