#pragma once
#include "platform/linux/SyntheticInputSink.h"

#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

class UinputDevice;

// Synthetic input through the kernel: events written to a virtual pointer
// (absolute, spanning the desktop) and a virtual keyboard, so it works in
// X11 and Wayland sessions alike. The compositor applies the keyboard
// layout, so keys are positions: text beyond US ASCII cannot be typed.
class UinputEventSink final : public SyntheticInputSink {
public:
    // High-resolution wheel units per step, the kernel's convention.
    static constexpr int kHighResolutionPerStep = 120;

    // Creates both devices on path (normally /dev/uinput). desktop is the
    // union of all monitors in root pixels.
    static std::unique_ptr<UinputEventSink> open(const QString& path, QRect desktop, QString* error);
    // Writes to existing descriptors (not owned), for tests.
    UinputEventSink(int pointerFd, int keyboardFd, QRect desktop);
    ~UinputEventSink() override;

    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;

    // The key and whether Shift is needed to type an ASCII character on a US
    // layout; none for anything else.
    struct KeyStroke {
        std::uint16_t evdevCode;
        bool shift;
    };
    static std::optional<KeyStroke> keyStrokeForCharacter(char32_t character);

private:
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

    unsigned deviceKey(const keycodes::KeyEntry& key) override { return key.evdevCode; }
    void sendKey(unsigned evdevCode, KeyAction action) override;
    void sendButton(int button, bool down) override;
    void sendMotion(QPointF point) override;
    void sendWheel(const WheelMotion& motion) override;

    std::unique_ptr<UinputDevice> m_pointerDevice;
    std::unique_ptr<UinputDevice> m_keyboardDevice;
    Writer m_pointer;
    Writer m_keyboard;
    QRect m_desktop;
};
