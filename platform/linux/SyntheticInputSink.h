#pragma once
#include "gestures/EventSink.h"
#include "platform/linux/KeyCodeTable.h"
#include "platform/linux/ModifierLatch.h"

#include <cstdint>
#include <vector>

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

private:
    double m_unit;
    double m_carry = 0;
};

// One wheel movement: whole steps, and the same movement in the device's
// high-resolution units. Up and right are positive.
struct WheelMotion {
    int vertical = 0;
    int horizontal = 0;
    int verticalHighRes = 0;
    int horizontalHighRes = 0;
};

// What the desktop sinks share: the modifier keys an event's flags ask for
// held around it, buttons and keys remembered while down so that nothing is
// left stuck, pixel scrolling as wheel steps with the remainder carried, and
// magnify as Control held with wheel steps (zoom on Linux desktops). A sink
// supplies the few primitives that reach its device.
class SyntheticInputSink : public EventSink {
public:
    // One wheel step per this many pixels of scroll: about three lines of
    // text, what X toolkits and compositors scroll per step, so the content
    // keeps pace with the fingers.
    static constexpr double kPixelsPerWheelStep = 48.0;
    // Magnification per Control+wheel step: roughly one zoom level.
    static constexpr double kMagnificationPerZoomStep = 0.2;

    void postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                        std::uint64_t flags, std::int64_t clickState) final;
    void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) final;
    void postMagnify(double magnification, int phase, QPointF point) final;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) final;
    void postMediaKey(int keyType, bool down) final;
    void warpCursor(QPointF point) final;
    void launchProgram(const QString& program, const QStringList& arguments) final;
    void beginFrame() final;
    void endFrame() final;

protected:
    // highResPerStep: the device's wheel units per whole step (1 when it
    // knows only steps).
    explicit SyntheticInputSink(int highResPerStep);

    // The device's code for a key; 0 when it cannot be pressed.
    virtual unsigned deviceKey(const keycodes::KeyEntry& key) = 0;
    virtual void sendKey(unsigned deviceKey, bool down) = 0;
    // 0 left, 1 right, 2 middle.
    virtual void sendButton(int button, bool down) = 0;
    // Only finite points arrive here.
    virtual void sendMotion(QPointF point) = 0;
    virtual void sendWheel(const WheelMotion& motion) = 0;
    // After every posted event, or once at the end of a frame.
    virtual void flush() {}

    // Lets go of every key, button and modifier; sinks call it before their
    // device closes.
    void releaseAll();
    bool inputHeld() const { return m_buttonsHeld != 0 || !m_heldKeys.empty(); }

    ModifierLatch m_modifiers;

private:
    struct HeldKey {
        std::uint32_t id; // virtual key code, or kMediaKeyId + key type
        unsigned deviceKey;
    };
    static constexpr std::uint32_t kMediaKeyId = 0x10000;

    void moveTo(QPointF point);
    void deliver();
    void pressHeld(std::uint32_t id, const keycodes::KeyEntry& key);
    void releaseHeld(std::uint32_t id);

    int m_highResPerStep;
    StepAccumulator m_vertical;
    StepAccumulator m_horizontal;
    StepAccumulator m_verticalSteps;
    StepAccumulator m_horizontalSteps;
    StepAccumulator m_zoom{kMagnificationPerZoomStep};
    bool m_magnifying = false;
    unsigned m_buttonsHeld = 0; // bit per button index
    int m_frameDepth = 0;
    bool m_deliveryPending = false;
    std::vector<HeldKey> m_heldKeys;
};
