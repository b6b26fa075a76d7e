#pragma once
#include "keyboard/KeyDescriptor.h"
#include "keyboard/KeyboardState.h"

// The rows of the touch keyboard, top to bottom. Every full row covers 14
// key units; the fifth row of each layer leaves its last unit to the
// return key hanging down from the row above. Built afresh on every call.
namespace KeyboardLayout {

inline constexpr int kUnitsPerRow = 14;

// The bottom row, shared by both layers.
KeyRow commonModifierRow();
// The top row; symbolTitle labels its layer-switch key.
KeyRow actionRowWithSymbolTitle(const QString& symbolTitle);
QList<KeyRow> abcKeyboardRows();
QList<KeyRow> symbolKeyboardRows();
// What the panel shows in this state: the action row alone when
// minimised, else the rows of the current layer.
QList<KeyRow> keyboardRows(const KeyboardState& state);

} // namespace KeyboardLayout
