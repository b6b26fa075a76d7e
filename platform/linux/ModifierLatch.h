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

namespace synthetic {
// One wheel step per this many pixels of scroll: about three lines of text,
// what X toolkits and compositors scroll per step, so the content keeps pace
// with the fingers.
constexpr double kPixelsPerWheelStep = 48.0;
// Magnification per Control+wheel step: roughly one zoom level.
constexpr double kMagnificationPerZoomStep = 0.2;
} // namespace synthetic

// Turns a stream of fractional amounts into whole steps and carries the rest,
// so slow movement still adds up. A change of direction drops what was
// carried the other way, so reversing responds at once.
class StepAccumulator {
public:
    explicit StepAccumulator(double unit) : m_unit(unit) {}

    int add(double amount)
    {
        if ((amount > 0 && m_carry < 0) || (amount < 0 && m_carry > 0))
            m_carry = 0;
        m_carry += amount;
        // A hair over one, so that sums like 0.1 + 0.1 reach a 0.2 step.
        const double steps = m_carry / m_unit * (1 + 1e-9);
        const int whole = steps >= 0 ? static_cast<int>(steps) : -static_cast<int>(-steps);
        m_carry -= whole * m_unit;
        return whole;
    }
    void reset() { m_carry = 0; }
    double carry() const { return m_carry; }

private:
    double m_unit;
    double m_carry = 0;
};
