#pragma once
#include <QtGlobal>
#include <Qt>

#include <cstdint>

// A key press as the window system delivered it.
struct PressedKey {
    int key = 0; // Qt::Key
    Qt::KeyboardModifiers modifiers;
    // Zero when the event came from no real keyboard (a synthetic event).
    quint32 nativeScanCode = 0;
    quint32 nativeVirtualKey = 0;
    quint32 nativeModifiers = 0;
};

// What a key press means to a recorded key combo.
struct TranslatedKeyPress {
    enum class Kind {
        Key,          // keyCode and flags are set
        ModifierOnly, // a modifier or lock key pressed on its own
        Unsupported,  // a key the program cannot post
    };
    Kind kind = Kind::Unsupported;
    std::uint16_t keyCode = 0;
    std::uint64_t flags = 0; // shift, control, option and command masks only
};

// Turns key presses back into the virtual key codes and modifier flags that
// key combos store, with the same key table the event sinks post from.
class KeyPressTranslator {
public:
    virtual ~KeyPressTranslator() = default;
    virtual TranslatedKeyPress translate(const PressedKey& press) const = 0;
};
