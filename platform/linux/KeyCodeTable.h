#pragma once
#include <cstdint>
#include <optional>
#include <span>

// The one place where the program's virtual key codes become Linux keys:
// an X keysym for XTest and an evdev KEY_ code for uinput.
//
// Modifiers: Shift -> Shift, Control -> Control, Option -> Alt and
// Command -> Super. Command stays Super so that a recorded combo means
// the same key on every desktop; shortcuts that want Control record it.
namespace keycodes {

struct KeyEntry {
    std::uint16_t virtualKey;
    std::uint32_t keysym;
    std::uint16_t evdevCode;
};

enum class Modifier : std::uint8_t { Shift = 0, Control = 1, Option = 2, Command = 3 };
constexpr int kModifierCount = 4;

struct ModifierEntry {
    Modifier modifier;
    std::uint64_t flagMask;
    std::uint16_t virtualKey; // the left-hand key, in the key table
};

std::span<const KeyEntry> keys();
const KeyEntry* findKey(std::uint16_t virtualKey);

const ModifierEntry& modifier(Modifier m);
// Left- and right-hand modifier keys both name their modifier.
std::optional<Modifier> modifierForVirtualKey(std::uint16_t virtualKey);

// Media keys by the engine's key type (0 volume up, 1 volume down); null
// for any other type.
const KeyEntry* mediaKey(int keyType);

// Keysym that types one Unicode code point once a keycode carries it:
// Latin-1 keysyms are the code points themselves, everything else uses
// the Unicode keysym range. Control characters other than tab and newline
// have none (0).
std::uint32_t keysymForCodePoint(char32_t codePoint);

} // namespace keycodes
