#pragma once
#include <QPointF>
#include <QString>
#include <QStringList>

#include <cstdint>

// Event types and button numbers keep the values the engine's traces and
// settings use; the platform sinks translate them.
enum class MouseEventType : int {
    LeftDown = 1,
    LeftUp = 2,
    RightDown = 3,
    RightUp = 4,
    Moved = 5,
    LeftDragged = 6,
    RightDragged = 7,
    OtherDown = 25,
    OtherUp = 26,
    OtherDragged = 27,
};

enum class MouseButton : int { Left = 0, Right = 1, Center = 2 };

// Modifier flag masks carried by every event.
namespace EventFlags {
constexpr std::uint64_t Shift = 0x20000;
constexpr std::uint64_t Control = 0x40000;
constexpr std::uint64_t Option = 0x80000;
constexpr std::uint64_t Command = 0x100000;
} // namespace EventFlags

enum class MagnifyPhase : int { Begin = 1, Change = 2, End = 8 };

// Where synthetic input goes: the desktop (XTest, uinput) or a trace.
// Points are global display coordinates.
class EventSink {
public:
    virtual ~EventSink() = default;

    // clickState is only meaningful for left-button events (0 for others).
    virtual void postMouseEvent(MouseEventType type, MouseButton button, QPointF point,
                                std::uint64_t flags, std::int64_t clickState) = 0;
    // Pixel wheel deltas: wheel1 vertical, wheel2 horizontal.
    virtual void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) = 0;
    virtual void postMagnify(double magnification, int phase, QPointF point) = 0;
    virtual void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) = 0;
    // At most 8 UTF-16 units, typed as one press and release.
    virtual void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) = 0;
    // Media key type: 0 volume up, 1 volume down.
    virtual void postMediaKey(int keyType, bool down) = 0;
    virtual void warpCursor(QPointF point) = 0;
    // Starts a program directly (never through a shell); failures are silent.
    virtual void launchProgram(const QString& program, const QStringList& arguments) = 0;

    // Events posted between these may reach the desktop together at the end,
    // one delivery per touch frame instead of one per event. Nested pairs
    // count as one; sinks that deliver at once need not care.
    virtual void beginFrame() {}
    virtual void endFrame() {}
};

// Holds a sink's frame open for a scope.
class EventFrame {
public:
    explicit EventFrame(EventSink& sink) : m_sink(sink) { m_sink.beginFrame(); }
    ~EventFrame() { m_sink.endFrame(); }
    EventFrame(const EventFrame&) = delete;
    EventFrame& operator=(const EventFrame&) = delete;

private:
    EventSink& m_sink;
};
