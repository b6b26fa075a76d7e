#include "platform/linux/ModifierLatch.h"

using keycodes::Modifier;

void ModifierLatch::setHeld(Modifier m, Reason reason, bool held)
{
    std::uint8_t& reasons = m_reasons[index(m)];
    const bool wasDown = reasons != 0;
    if (held)
        reasons |= reason;
    else
        reasons &= static_cast<std::uint8_t>(~reason);
    const bool isNowDown = reasons != 0;
    if (wasDown != isNowDown)
        m_press(m, isNowDown);
}

void ModifierLatch::applyFlags(std::uint64_t flags)
{
    // Press in table order and release in reverse, as a person would.
    for (int i = 0; i < keycodes::kModifierCount; ++i) {
        const auto m = static_cast<Modifier>(i);
        if (flags & keycodes::modifier(m).flagMask)
            setHeld(m, Flags, true);
    }
    for (int i = keycodes::kModifierCount - 1; i >= 0; --i) {
        const auto m = static_cast<Modifier>(i);
        if (!(flags & keycodes::modifier(m).flagMask))
            setHeld(m, Flags, false);
    }
}

void ModifierLatch::settle(bool inputHeld)
{
    if (inputHeld)
        return;
    for (int i = keycodes::kModifierCount - 1; i >= 0; --i)
        setHeld(static_cast<Modifier>(i), Flags, false);
}

void ModifierLatch::releaseAll()
{
    for (int i = keycodes::kModifierCount - 1; i >= 0; --i) {
        std::uint8_t& reasons = m_reasons[static_cast<std::size_t>(i)];
        if (reasons != 0) {
            reasons = 0;
            m_press(static_cast<Modifier>(i), false);
        }
    }
}
