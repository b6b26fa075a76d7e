#pragma once

// What the touch keyboard shows and what its next key does. Shift, command,
// option and control are one-shot: the next output drops them. Caps lock
// stays until pressed again or the layer changes.
struct KeyboardState {
    bool _symbolsOn = false;         // the symbol layer instead of letters
    bool _keyboardMinimized = false; // only the action row
    bool _shiftOn = false;
    bool _capsOn = false;
    bool _commandOn = false;
    bool _optionOn = false;
    bool _controlOn = false;
    bool _holdMode = false;          // keys output on press and repeat while held
};
