#include "platform/linux/SyntheticInputSink.h"

#include <QProcess>

#include <algorithm>
#include <cmath>

using keycodes::Modifier;

namespace {

int buttonIndex(MouseEventType type, MouseButton button)
{
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::LeftUp: case MouseEventType::LeftDragged:
        return 0;
    case MouseEventType::RightDown: case MouseEventType::RightUp: case MouseEventType::RightDragged:
        return 1;
    default:
        return button == MouseButton::Left ? 0 : button == MouseButton::Right ? 1 : 2;
    }
}

} // namespace

SyntheticInputSink::SyntheticInputSink(int highResPerStep)
    : m_modifiers([this](Modifier m, bool down) {
        if (const unsigned key = deviceKey(*keycodes::findKey(keycodes::modifier(m).virtualKey)))
            sendKey(key, down);
    })
    , m_highResPerStep(highResPerStep)
    , m_vertical(kPixelsPerWheelStep / highResPerStep)
    , m_horizontal(kPixelsPerWheelStep / highResPerStep)
    , m_verticalSteps(highResPerStep)
    , m_horizontalSteps(highResPerStep)
{
}

void SyntheticInputSink::releaseAll()
{
    while (!m_heldKeys.empty())
        releaseHeld(m_heldKeys.back().id);
    for (int button = 0; button < 3; ++button) {
        if (m_buttonsHeld & (1u << button))
            sendButton(button, false);
    }
    m_buttonsHeld = 0;
    m_modifiers.releaseAll();
}

void SyntheticInputSink::moveTo(QPointF point)
{
    if (std::isfinite(point.x()) && std::isfinite(point.y()))
        sendMotion(point);
}

void SyntheticInputSink::postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                                        std::uint64_t flags, std::int64_t)
{
    // Desktop clients count clicks themselves from the timing of the presses.
    const int index = buttonIndex(type, button);
    const unsigned bit = 1u << index;
    m_modifiers.applyFlags(flags);
    moveTo(point);
    switch (type) {
    case MouseEventType::LeftDown: case MouseEventType::RightDown: case MouseEventType::OtherDown:
        sendButton(index, true);
        m_buttonsHeld |= bit;
        break;
    case MouseEventType::LeftUp: case MouseEventType::RightUp: case MouseEventType::OtherUp:
        if (m_buttonsHeld & bit) {
            sendButton(index, false);
            m_buttonsHeld &= ~bit;
        }
        break;
    default:
        break;
    }
    m_modifiers.settle(inputHeld());
    deliver();
}

void SyntheticInputSink::postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags)
{
    // Positive wheel 1 scrolls up and positive wheel 2 scrolls left: the
    // direction a wheel turned away from the user moves the content, whatever
    // the natural-scrolling setting made of the fingers.
    const int verticalHighRes = m_vertical.add(wheel1);
    const int horizontalHighRes = m_horizontal.add(-double(wheel2));
    if (verticalHighRes == 0 && horizontalHighRes == 0)
        return;
    const WheelMotion motion{m_verticalSteps.add(verticalHighRes), m_horizontalSteps.add(horizontalHighRes),
                             verticalHighRes, horizontalHighRes};
    m_modifiers.applyFlags(flags);
    sendWheel(motion);
    m_modifiers.settle(inputHeld());
    deliver();
}

void SyntheticInputSink::postMagnify(double magnification, int phase, QPointF)
{
    switch (static_cast<MagnifyPhase>(phase)) {
    case MagnifyPhase::Begin:
        m_zoom.reset();
        m_magnifying = true;
        m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, true);
        break;
    case MagnifyPhase::Change: {
        if (!std::isfinite(magnification))
            return;
        const int steps = m_zoom.add(magnification);
        if (steps == 0)
            return;
        // A change without a begin still zooms, with Control just around it.
        if (!m_magnifying)
            m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, true);
        sendWheel({steps, 0, steps * m_highResPerStep, 0});
        if (!m_magnifying)
            m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, false);
        break;
    }
    case MagnifyPhase::End:
        m_zoom.reset();
        m_magnifying = false;
        m_modifiers.setHeld(Modifier::Control, ModifierLatch::Magnify, false);
        break;
    }
    deliver();
}

void SyntheticInputSink::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags)
{
    if (const auto m = keycodes::modifierForVirtualKey(keyCode)) {
        // The key itself is the modifier; its own flag must not press it twice.
        m_modifiers.setHeld(*m, ModifierLatch::Key, down);
        m_modifiers.applyFlags(flags & ~keycodes::modifier(*m).flagMask);
    } else if (const keycodes::KeyEntry* key = keycodes::findKey(keyCode)) {
        m_modifiers.applyFlags(flags);
        if (down)
            pressHeld(keyCode, *key);
        else
            releaseHeld(keyCode);
    } else {
        return;
    }
    m_modifiers.settle(inputHeld());
    deliver();
}

void SyntheticInputSink::postMediaKey(int keyType, bool down)
{
    const keycodes::KeyEntry* key = keycodes::mediaKey(keyType);
    if (!key)
        return;
    const std::uint32_t id = kMediaKeyId + static_cast<std::uint32_t>(keyType);
    if (down)
        pressHeld(id, *key);
    else
        releaseHeld(id);
    m_modifiers.settle(inputHeld());
    deliver();
}

void SyntheticInputSink::warpCursor(QPointF point)
{
    moveTo(point);
    deliver();
}

void SyntheticInputSink::beginFrame()
{
    ++m_frameDepth;
}

void SyntheticInputSink::endFrame()
{
    if (m_frameDepth > 0 && --m_frameDepth == 0 && m_deliveryPending) {
        m_deliveryPending = false;
        flush();
    }
}

void SyntheticInputSink::deliver()
{
    if (m_frameDepth > 0)
        m_deliveryPending = true;
    else
        flush();
}

void SyntheticInputSink::launchProgram(const QString& program, const QStringList& arguments)
{
    QProcess::startDetached(program, arguments);
}

void SyntheticInputSink::pressHeld(std::uint32_t id, const keycodes::KeyEntry& key)
{
    // A second press of a held key types it again on the key it went down
    // on, as a release and a press: desktops ignore the kernel's repeat
    // events from virtual devices and do their own repeating.
    const auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                                   [id](const HeldKey& k) { return k.id == id; });
    if (held != m_heldKeys.end()) {
        sendKey(held->deviceKey, false);
        sendKey(held->deviceKey, true);
        return;
    }
    const unsigned code = deviceKey(key);
    if (code == 0)
        return;
    m_heldKeys.push_back({id, code});
    sendKey(code, true);
}

void SyntheticInputSink::releaseHeld(std::uint32_t id)
{
    const auto held = std::find_if(m_heldKeys.begin(), m_heldKeys.end(),
                                   [id](const HeldKey& k) { return k.id == id; });
    if (held == m_heldKeys.end())
        return;
    const unsigned code = held->deviceKey;
    m_heldKeys.erase(held);
    sendKey(code, false);
}
