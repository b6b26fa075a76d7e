#pragma once
#include <QString>

#include <cstdint>

// The readable text of a recorded key combo: the modifiers in a fixed order
// ("Ctrl", "Opt", "Shift", "Cmd"), then the key's name, joined with "+"
// ("Shift+Cmd+4"); a key without a name reads "Key <code>".
QString keyComboLabel(std::uint16_t keyCode, std::uint64_t flags);

// The name of one virtual key ("A", "Return", "Page Up"); empty when it has none.
QString virtualKeyName(std::uint16_t keyCode);
