#pragma once
#include "platform/linux/KeyCodeTable.h"

#include <array>
#include <cstdint>
#include <functional>

// Holds the modifier keys that events ask for and lets go of them as soon
// as nothing needs them. A key stays down while any reason holds it: the
// flags of the event in progress (kept while a button or key is down), an
// explicit modifier key press, or a pinch that zooms with Control.
class ModifierLatch {
public:
    enum Reason : std::uint8_t { Flags = 1, Key = 2, Magnify = 4 };
    using PressFunction = std::function<void(keycodes::Modifier, bool down)>;

    explicit ModifierLatch(PressFunction press) : m_press(std::move(press)) {}

    // Before an event carrying these flags.
    void applyFlags(std::uint64_t flags);
    // After an event: the flags' modifiers go up unless a button or an
    // ordinary key is still held.
    void settle(bool inputHeld);
    void setHeld(keycodes::Modifier m, Reason reason, bool held);
    void releaseAll();

    bool isDown(keycodes::Modifier m) const { return m_reasons[index(m)] != 0; }

private:
    PressFunction m_press;
    std::array<std::uint8_t, keycodes::kModifierCount> m_reasons{};

    static std::size_t index(keycodes::Modifier m) { return static_cast<std::size_t>(m); }
};
