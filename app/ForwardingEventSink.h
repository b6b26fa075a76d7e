#pragma once
#include "gestures/EventSink.h"

#include <functional>
#include <utility>

// The bridge and the keyboard are made once with one sink each, but the
// desktop's sink comes and goes (it exists while it is needed); this one
// passes every event on to whatever the target function gives at that
// moment, and drops the event when that is nothing.
class ForwardingEventSink final : public EventSink {
public:
    explicit ForwardingEventSink(std::function<EventSink*()> target) : m_targetOf(std::move(target)) {}

    void postMouseEvent(MouseEventType type, MouseButton button, QPointF point, std::uint64_t flags,
                        std::int64_t clickState) override
    {
        if (EventSink* target = m_targetOf())
            target->postMouseEvent(type, button, point, flags, clickState);
    }
    void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) override
    {
        if (EventSink* target = m_targetOf())
            target->postScrollWheel(wheel1, wheel2, flags);
    }
    void postMagnify(double magnification, int phase, QPointF point) override
    {
        if (EventSink* target = m_targetOf())
            target->postMagnify(magnification, phase, point);
    }
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) override
    {
        if (EventSink* target = m_targetOf())
            target->postKey(keyCode, down, flags);
    }
    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override
    {
        if (EventSink* target = m_targetOf())
            target->postUnicodeText(units, length, flags);
    }
    void postMediaKey(int keyType, bool down) override
    {
        if (EventSink* target = m_targetOf())
            target->postMediaKey(keyType, down);
    }
    void warpCursor(QPointF point) override
    {
        if (EventSink* target = m_targetOf())
            target->warpCursor(point);
    }
    void launchProgram(const QString& program, const QStringList& arguments) override
    {
        if (EventSink* target = m_targetOf())
            target->launchProgram(program, arguments);
    }
    // A frame is held open on the sink it began on, and closed only while
    // that is still the target: a sink replaced meanwhile is gone (and
    // delivered what it held when it went), and a new one never had the
    // frame begun.
    void beginFrame() override
    {
        if (m_frameDepth++ == 0 && (m_frameTarget = m_targetOf()))
            m_frameTarget->beginFrame();
    }
    void endFrame() override
    {
        if (m_frameDepth == 0 || --m_frameDepth > 0)
            return;
        EventSink* target = std::exchange(m_frameTarget, nullptr);
        if (target && target == m_targetOf())
            target->endFrame();
    }

private:
    std::function<EventSink*()> m_targetOf;
    EventSink* m_frameTarget = nullptr;
    int m_frameDepth = 0;
};
