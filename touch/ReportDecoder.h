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

// readBits for a field that ends near the report's end (or on big-endian machines).
std::uint32_t readBitsNearEnd(const std::uint8_t* report, std::size_t length, std::size_t firstByte, unsigned shift,
                              unsigned bits);

// Reads up to 32 bits, least significant first, from a bit position counted
// from bit 0 of the report's first byte. Bits at or beyond the report's end
// read as 0; a negative offset or a length below 1 gives 0. Inline, with one
// unaligned load for a field well inside the report: the decoder calls it
// for every field of every slot.
inline std::uint32_t readBits(const std::uint8_t* report, std::size_t length, std::int32_t bitOffset,
                              std::int32_t bitLength)
{
    if (bitOffset < 0 || bitLength < 1 || !report)
        return 0;
    const std::size_t first = std::size_t(bitOffset) >> 3;
    const unsigned shift = unsigned(bitOffset) & 7;
    const unsigned bits = bitLength > 32 ? 32u : unsigned(bitLength);
    std::uint64_t value;
    if (std::endian::native != std::endian::little || first + sizeof value > length)
        return readBitsNearEnd(report, length, first, shift, bits);
    std::memcpy(&value, report + first, sizeof value);
    return std::uint32_t((value >> shift) & ((std::uint64_t(1) << bits) - 1));
}

// What carries from one report to the next of a frame spread over several.
struct HybridFrameState {
    std::int32_t offset = 0;      // contacts of the frame in progress delivered so far
    std::int32_t frameCount = 0;  // contacts its first report announced
    bool observed = false;        // such a frame was seen since touch started
};

// Decodes one input report with a layout, reading and updating the caller's
// frame state; a report that is not the touch report leaves it unchanged.
// Allocates nothing.
TouchContactList contactsFromReport(const TouchLayout& layout, const std::uint8_t* report, std::size_t length,
                                    HybridFrameState& hybrid);

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
    // Gives up the hybrid frame in progress (a report of it was lost): the
    // next report starts a frame.
    void endHybridFrame() { _hybrid.offset = 0; }
    std::int32_t hybridOffset() const { return _hybrid.offset; }
    bool hybridModeObserved() const { return _hybrid.observed; }

private:
    TouchLayout _layout{};
    HybridFrameState _hybrid;
};
