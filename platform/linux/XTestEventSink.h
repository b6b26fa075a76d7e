#pragma once
#include "base/Scheduler.h"
#include "gestures/EventSink.h"
#include "platform/linux/ModifierLatch.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct _XDisplay;

// Synthetic input into an X server through the XTest extension, on a
// connection of its own. Points are root-window pixels.
class XTestEventSink final : public EventSink {
public:
    // Wheel steps are buttons 4 to 7 (see synthetic::kPixelsPerWheelStep).
    static constexpr double kPixelsPerWheelStep = synthetic::kPixelsPerWheelStep;
    static constexpr double kMagnificationPerZoomStep = synthetic::kMagnificationPerZoomStep;
    // How long a borrowed keycode keeps its temporary keysym after its last
    // release, so clients look the key up before it changes back.
    static constexpr double kKeymapRestoreDelay = 0.05;

    // Connects to displayName (nullptr: $DISPLAY). On failure returns null
    // and sets *error.
    static std::unique_ptr<XTestEventSink> open(Scheduler& scheduler, QString* error,
                                                const char* displayName = nullptr);
    ~XTestEventSink() override;

    void postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                        std::uint64_t flags, std::int64_t clickState) override;
    void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) override;
    void postMagnify(double magnification, int phase, QPointF point) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) override;
    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;
    void postMediaKey(int keyType, bool down) override;
    void warpCursor(QPointF point) override;
    void launchProgram(const QString& program, const QStringList& arguments) override;

    // Waits until the server has handled everything sent so far.
    void sync();
    // Keycodes currently lent to other keysyms (for tests).
    int borrowedKeycodeCount() const;

private:
    struct SpareKey {
        unsigned keycode = 0;
        std::vector<unsigned long> original;
        std::uint32_t mapped = 0; // 0: original mapping in place
        bool pressed = false;
        double lastUse = 0;
        Scheduler::TimerId restoreTimer = 0;
    };
    struct HeldKey {
        std::uint32_t id; // virtual key code, or kMediaKeyId + key type
        unsigned keycode;
    };
    static constexpr std::uint32_t kMediaKeyId = 0x10000;

    XTestEventSink(_XDisplay* display, Scheduler& scheduler);

    void moveTo(QPointF point);
    void clickButton(unsigned button, int times);
    void pressKeysym(std::uint32_t id, std::uint32_t keysym);
    void releaseHeld(std::uint32_t id);
    void tapKeysym(std::uint32_t keysym);
    void pressModifier(keycodes::Modifier m, bool down);
    bool inputHeld() const { return m_buttonsHeld != 0 || !m_heldKeys.empty(); }

    unsigned keycodeFor(std::uint32_t keysym);
    unsigned existingKeycode(std::uint32_t keysym);
    SpareKey* borrowKeycode(std::uint32_t keysym);
    void scheduleRestore(SpareKey& spare);
    void restore(SpareKey& spare);
    SpareKey* spareFor(unsigned keycode);
    void loadKeymap();
    void findSpareKeycodes();
    void flush();

    _XDisplay* m_display;
    Scheduler& m_scheduler;
    ModifierLatch m_modifiers;
    StepAccumulator m_vertical{kPixelsPerWheelStep};
    StepAccumulator m_horizontal{kPixelsPerWheelStep};
    StepAccumulator m_zoom{kMagnificationPerZoomStep};
    bool m_magnifying = false;
    unsigned m_buttonsHeld = 0; // bit n: X button n
    std::vector<HeldKey> m_heldKeys;
    std::vector<SpareKey> m_spares;

    int m_minKeycode = 8;
    int m_maxKeycode = 255;
    int m_keysymsPerKeycode = 0;
    std::vector<unsigned long> m_keymap; // level-0 keysym per keycode
    bool m_keymapStale = true;
};
