#pragma once
#include <QByteArray>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct _XDisplay;

// What a test's own X client saw.
struct RecordedXEvent {
    enum Kind { ButtonDown, ButtonUp, Motion, KeyDown, KeyUp };
    Kind kind = Motion;
    int x = 0;             // root coordinates
    int y = 0;
    unsigned detail = 0;   // button or keycode
    unsigned state = 0;    // modifier and button mask before the event
    unsigned long time = 0; // server milliseconds
    std::uint32_t keysym = 0;
    QString text;          // what a key press types
};

// A small X client: one override-redirect window over the whole screen
// with the keyboard focus, recording button, motion and key events and the
// text of key presses through an input context.
class XEventRecorder {
public:
    // With a geometry, an ordinary window at that place instead, which the
    // window manager frames and focuses like any application's.
    static std::unique_ptr<XEventRecorder> open(const QByteArray& displayName, QString* error,
                                                std::optional<QRect> managedGeometry = std::nullopt);

    // The keyboard focus is on the recorder's window.
    bool hasFocus() const;
    ~XEventRecorder();

    // Reads what has arrived, running the Qt event loop in between, until
    // the condition holds or the time is up.
    bool waitUntil(const std::function<bool(const XEventRecorder&)>& done, int timeoutMs = 3000);
    // Reads for a while (to prove that nothing more arrives).
    void settle(int milliseconds = 150);

    const std::vector<RecordedXEvent>& events() const { return m_events; }
    // Events of one kind; with a detail, only of that button or keycode.
    std::vector<RecordedXEvent> eventsOf(RecordedXEvent::Kind kind, unsigned detail = 0) const;
    std::vector<RecordedXEvent> pressesOf(unsigned button) const { return eventsOf(RecordedXEvent::ButtonDown, button); }
    // The buttons, and the keysyms of the keys, pressed in order.
    std::vector<unsigned> buttonsPressed() const;
    std::vector<std::uint32_t> keysymsPressed() const;
    // Every key and button that went down came up again.
    bool nothingHeld() const;
    QString typedText() const;
    void clear() { m_events.clear(); }

private:
    XEventRecorder() = default;
    void readPending();

    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
    void* m_inputMethod = nullptr;
    void* m_inputContext = nullptr;
    std::vector<RecordedXEvent> m_events;
};
