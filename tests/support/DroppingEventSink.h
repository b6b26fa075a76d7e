#pragma once
#include "gestures/EventSink.h"

// Accepts every event and does nothing with it; counts them so benchmarks
// and allocation tests can check the engine did post.
class DroppingEventSink final : public EventSink {
public:
    long events = 0;

    void postMouseEvent(MouseEventType, MouseButton, QPointF, std::uint64_t, std::int64_t) override { ++events; }
    void postScrollWheel(std::int32_t, std::int32_t, std::uint64_t) override { ++events; }
    void postMagnify(double, int, QPointF) override { ++events; }
    void postKey(std::uint16_t, bool, std::uint64_t) override { ++events; }
    void postUnicodeText(const char16_t*, int, std::uint64_t) override { ++events; }
    void postMediaKey(int, bool) override { ++events; }
    void warpCursor(QPointF) override { ++events; }
    void launchProgram(const QString&, const QStringList&) override { ++events; }
};
