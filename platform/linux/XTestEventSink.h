#pragma once
#include "base/Scheduler.h"
#include "platform/linux/SyntheticInputSink.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct _XDisplay;
class QSocketNotifier;

// Synthetic input into an X server through the XTest extension, on a
// connection of its own. Points are root-window pixels; wheel steps are
// buttons 4 to 7.
class XTestEventSink final : public SyntheticInputSink {
public:
    // How long a borrowed keycode keeps its temporary keysym after its last
    // release, so clients look the key up before it changes back.
    static constexpr double kKeymapRestoreDelay = 0.05;

    // Connects to displayName (nullptr: $DISPLAY). On failure returns null
    // and sets *error.
    static std::unique_ptr<XTestEventSink> open(Scheduler& scheduler, QString* error,
                                                const char* displayName = nullptr);
    ~XTestEventSink() override;

    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;

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

    XTestEventSink(_XDisplay* display, Scheduler& scheduler);

    unsigned deviceKey(const keycodes::KeyEntry& key) override;
    void sendKey(unsigned keycode, bool down) override;
    void sendButton(int button, bool down) override;
    void sendMotion(QPointF point) override;
    void sendWheel(const WheelMotion& motion) override;
    void flush() override;
    void handleQueuedEvents();

    void clickButton(unsigned button, int times);
    unsigned keycodeFor(std::uint32_t keysym);
    unsigned existingKeycode(std::uint32_t keysym);
    SpareKey* borrowKeycode(std::uint32_t keysym);
    void scheduleRestore(SpareKey& spare);
    void restore(SpareKey& spare);
    SpareKey* spareFor(unsigned keycode);
    void loadKeymap();
    void findSpareKeycodes();

    _XDisplay* m_display;
    Scheduler& m_scheduler;
    // Wakes when the server sends something, so that posting never has to
    // ask the socket whether it did.
    std::unique_ptr<QSocketNotifier> m_serverEvents;
    std::vector<SpareKey> m_spares;

    int m_minKeycode = 8;
    int m_maxKeycode = 255;
    std::vector<unsigned long> m_keymap; // level-0 keysym per keycode
    bool m_keymapStale = true;
    int m_xkbEventBase = -1;
};
