#pragma once
#include "gestures/EventSink.h"
#include "platform/linux/ModifierLatch.h"

#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class UinputDevice;

// Synthetic input through the kernel: events written to a virtual pointer
// (absolute, spanning the desktop) and a virtual keyboard, so it works in
// X11 and Wayland sessions alike. The compositor applies the keyboard
// layout, so keys are positions: text beyond US ASCII cannot be typed.
class UinputEventSink final : public EventSink {
public:
    // High-resolution wheel units per step, the kernel's convention.
    static constexpr int kHighResolutionPerStep = 120;

    // Creates both devices on path (normally /dev/uinput). desktop is the
    // union of all monitors in root pixels.
    static std::unique_ptr<UinputEventSink> open(const QString& path, QRect desktop, QString* error);
    // Writes to existing descriptors (not owned), for tests.
    UinputEventSink(int pointerFd, int keyboardFd, QRect desktop);
    ~UinputEventSink() override;

    void postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                        std::uint64_t flags, std::int64_t clickState) override;
    void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) override;
    void postMagnify(double magnification, int phase, QPointF point) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) override;
    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;
    void postMediaKey(int keyType, bool down) override;
    void warpCursor(QPointF point) override;
    void launchProgram(const QString& program, const QStringList& arguments) override;

    // The key and whether Shift is needed to type an ASCII character on a US
    // layout; none for anything else.
    struct KeyStroke {
        std::uint16_t evdevCode;
        bool shift;
    };
    static std::optional<KeyStroke> keyStrokeForCharacter(char32_t character);

private:
    struct HeldKey {
        std::uint32_t id;
        std::uint16_t evdevCode;
    };
    static constexpr std::uint32_t kMediaKeyId = 0x10000;

    class Writer {
    public:
        explicit Writer(int fd) : m_fd(fd) {}
        void add(std::uint16_t type, std::uint16_t code, std::int32_t value);
        // Ends the report with SYN_REPORT and writes it in one go.
        void report();

    private:
        int m_fd;
        std::array<std::uint8_t, 24 * 16> m_buffer{};
        std::size_t m_used = 0;
    };

    void moveTo(QPointF point);
    void wheel(int vertical, int horizontal, int verticalHighRes, int horizontalHighRes);
    void key(std::uint16_t evdevCode, bool down);
    void pressHeld(std::uint32_t id, std::uint16_t evdevCode);
    void releaseHeld(std::uint32_t id);
    bool inputHeld() const { return m_buttonsHeld != 0 || !m_heldKeys.empty(); }

    std::unique_ptr<UinputDevice> m_pointerDevice;
    std::unique_ptr<UinputDevice> m_keyboardDevice;
    Writer m_pointer;
    Writer m_keyboard;
    QRect m_desktop;
    ModifierLatch m_modifiers;
    StepAccumulator m_vertical{synthetic::kPixelsPerWheelStep / kHighResolutionPerStep};
    StepAccumulator m_horizontal{synthetic::kPixelsPerWheelStep / kHighResolutionPerStep};
    StepAccumulator m_verticalDetents{kHighResolutionPerStep};
    StepAccumulator m_horizontalDetents{kHighResolutionPerStep};
    StepAccumulator m_zoom{synthetic::kMagnificationPerZoomStep};
    bool m_magnifying = false;
    std::uint32_t m_buttonsHeld = 0; // bit per BTN_ code offset from BTN_LEFT
    std::vector<HeldKey> m_heldKeys;
};
