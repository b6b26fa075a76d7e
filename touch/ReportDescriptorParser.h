#pragma once
#include "touch/TouchTypes.h"

#include <cstddef>
#include <cstdint>

// HID usages the descriptor parser recognises: (page, usage ID).
namespace HidUsage {
constexpr std::uint32_t GenericDesktopPage = 0x01;
constexpr std::uint32_t DigitizerPage = 0x0D;

constexpr std::uint32_t X = 0x30;
constexpr std::uint32_t Y = 0x31;

constexpr std::uint32_t Pen = 0x02;
constexpr std::uint32_t TouchScreen = 0x04;
constexpr std::uint32_t Stylus = 0x20;
constexpr std::uint32_t Finger = 0x22;
constexpr std::uint32_t InRange = 0x32;
constexpr std::uint32_t Invert = 0x3C;
constexpr std::uint32_t TipSwitch = 0x42;
constexpr std::uint32_t Eraser = 0x45;
constexpr std::uint32_t TouchValid = 0x47;
constexpr std::uint32_t Width = 0x48;
constexpr std::uint32_t Height = 0x49;
constexpr std::uint32_t ContactIdentifier = 0x51;
constexpr std::uint32_t ContactCount = 0x54;
} // namespace HidUsage

// Walks a HID report descriptor once and reduces it to where the touch
// report's contact fields lie. Pure, never fails loudly, allocates nothing:
// a descriptor it cannot use gives a layout whose `valid` is false.
TouchLayout parseReportDescriptor(const std::uint8_t* bytes, std::size_t length);
