#pragma once
#include <cstdint>

// Virtual key codes posted through EventSink::postKey. Codes below 0x80 are
// the classic virtual key codes that settings and recorded key combos store;
// codes from 0x100 up are this program's own, for keys that classic space has
// no code for. The platform sinks translate both in their one table.
namespace VirtualKey {
constexpr std::uint16_t Escape = 53;
constexpr std::uint16_t Command = 55;
constexpr std::uint16_t Shift = 56;
constexpr std::uint16_t Option = 58;
constexpr std::uint16_t Control = 59;

// Extension codes: never produced by a key combo recording.
constexpr std::uint16_t FirstExtension = 0x100;
constexpr std::uint16_t Super = 0x100; // the "Windows"/logo key: desktop overview on most desktops
constexpr std::uint16_t Print = 0x101; // Print Screen: the desktop's screenshot tool
} // namespace VirtualKey
