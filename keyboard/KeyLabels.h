#pragma once
#include "keyboard/KeyDescriptor.h"
#include "keyboard/KeyboardState.h"

#include <QString>

#include <cstdint>
#include <optional>

// How a key looks and which key it is, as pure functions of its descriptor
// and the keyboard state.
namespace KeyLabels {

// The icon of an action key, or an empty name for keys that show a label.
QString iconNameForDescriptor(const KeyDescriptor& key, const KeyboardState& state);

// Sizes in logical pixels.
struct KeyFont {
    double pixelSize;
    bool medium; // medium weight, else regular
    bool operator==(const KeyFont&) const = default;
};
KeyFont fontForDescriptor(const KeyDescriptor& key);

// The label a key without an icon shows: letters in the case they will
// type, digits and punctuation as shifted while shift is on, and the layer
// key naming the layer it switches to.
QString displayTitleForDescriptor(const KeyDescriptor& key, const KeyboardState& state);

// Text as shift and caps lock make it: a lower-case letter in upper case
// when exactly one of them is on; other characters through the US shift
// row while shift is on.
QString shiftedTextForText(const QString& text, const KeyboardState& state);

// The virtual key code of a character on the US layout (after lower-casing);
// none for characters off that layout.
std::optional<std::uint16_t> keyCodeForText(const QString& text);

} // namespace KeyLabels
