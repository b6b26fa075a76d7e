#pragma once
#include "platform/linux/SyntheticInputSink.h"
#include "platform/linux/UinputDevice.h"
#include "platform/linux/VirtualDeviceReadiness.h"

#include <QObject>
#include <QRect>
#include <QString>

#include <linux/input.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class Scheduler;

// Synthetic input through the kernel, so it works in X11 and Wayland
// sessions alike, on two virtual devices:
// - the pointer: absolute X and Y over the whole desktop, nothing else
//   pressed on it, so it moves the one pointer the user's mouse moves;
// - the keyboard: every key, the mouse buttons and the wheels. The udev
//   rule has it taken for a keyboard only (its buttons would make it a mouse
//   too), so the desktop passes its clicks on without the mouse's
//   left-handed swap and a touch's left click stays a left click.
// The compositor applies the keyboard layout, so keys are positions: text
// beyond US ASCII cannot be typed.
class UinputEventSink final : public SyntheticInputSink {
public:
    // High-resolution wheel units per step, the kernel's convention.
    static constexpr int kHighResolutionPerStep = 120;
    // The pointer's absolute range on both axes; positions are scaled onto
    // the desktop's current size, so a new arrangement needs no new device.
    static constexpr std::int32_t kAbsoluteMaximum = 65535;
    // Events held back while the devices are not ready, at most.
    static constexpr std::size_t kHeldEventCapacity = 4096;

    static UinputDeviceLayout pointerLayout();
    static UinputDeviceLayout keyboardLayout();

    // Creates both devices on path (normally /dev/uinput) and holds events
    // back until the desktop has had them announced. desktop is the union
    // of all monitors in root pixels.
    static std::unique_ptr<UinputEventSink> open(const QString& path, QRect desktop, Scheduler& scheduler,
                                                 QString* error);
    // Writes to existing descriptors (not owned) at once, for tests.
    UinputEventSink(int pointerFd, int keyboardFd, QRect desktop);
    ~UinputEventSink() override;

    // Holds events back until the devices with these kernel names are ready.
    void holdUntilReady(Scheduler& scheduler, const QStringList& sysNames,
                        VirtualDevicePaths paths = {});
    bool isReady() const { return !m_readiness || m_readiness->isReady(); }

    // The monitors were rearranged: positions scale onto the new union.
    void setDesktop(QRect desktop) { m_desktop = desktop; }
    // Lives as long as the sink, for connections that call setDesktop.
    QObject* connectionContext() { return &m_context; }

    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;

    // The key and whether Shift is needed to type an ASCII character on a US
    // layout; none for anything else.
    struct KeyStroke {
        std::uint16_t evdevCode;
        bool shift;
    };
    static std::optional<KeyStroke> keyStrokeForCharacter(char32_t character);

private:
    // Collects one device's events and sends them as one report.
    class Writer {
    public:
        Writer(UinputEventSink& sink, int fd) : m_sink(sink), m_fd(fd) {}
        void add(std::uint16_t type, std::uint16_t code, std::int32_t value);
        // Ends the report with SYN_REPORT and sends it.
        void report();

    private:
        UinputEventSink& m_sink;
        int m_fd;
        std::array<input_event, 16> m_events{};
        std::size_t m_count = 0;
    };

    struct HeldEvent {
        int fd;
        input_event event;
    };

    unsigned deviceKey(const keycodes::KeyEntry& key) override { return key.evdevCode; }
    void sendKey(unsigned evdevCode, bool down) override;
    void sendButton(int button, bool down) override;
    void sendMotion(QPointF point) override;
    void sendWheel(const WheelMotion& motion) override;

    void send(int fd, const input_event* events, std::size_t count);
    void sendHeldEvents();
    std::int32_t scaled(double position, int origin, int extent) const;

    std::unique_ptr<UinputDevice> m_pointerDevice;
    std::unique_ptr<UinputDevice> m_keyboardDevice;
    Writer m_pointer;
    Writer m_keyboard;
    QRect m_desktop;
    QObject m_context;
    std::unique_ptr<VirtualDeviceReadiness> m_readiness;
    std::vector<HeldEvent> m_held;
    bool m_heldOverflow = false;
    // What the kernel holds for ABS_X and ABS_Y; it drops a value equal to
    // the one it holds. Unknown after events were dropped.
    std::optional<std::pair<std::int32_t, std::int32_t>> m_kernelPosition{std::pair{0, 0}};
};
