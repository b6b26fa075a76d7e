#pragma once
#include "gestures/EventSink.h"

#include <QString>
#include <QStringList>

#include <functional>

class Scheduler;

// Writes one stable line per event instead of posting it: what tests compare
// and what a dry run prints. Times are seconds since the sink was made (or
// since `origin`), read from the scheduler, with fixed decimals throughout:
//
//   0.100 mouse left-down button=0 at=120.00,80.00 flags=0x0 click=1
//   0.150 mouse right-dragged button=1 at=121.00,80.00 flags=0x20000
//   0.200 scroll wheel1=2 wheel2=-1 flags=0x0
//   0.200 magnify 0.0800 phase=2 at=10.00,20.00
//   0.250 key 53 down flags=0x0
//   0.250 text "a\u000a" flags=0x0
//   0.250 media 0 up
//   0.300 warp 120.00,80.00
//   0.300 launch "/usr/bin/tool" "--flag"
//   0.300 keyboard show
class TraceEventSink final : public EventSink {
public:
    using LineHandler = std::function<void(const QString&)>;

    explicit TraceEventSink(const Scheduler& scheduler);
    TraceEventSink(const Scheduler& scheduler, double origin);

    // Also hands every line to `handler` as it is written (a dry run prints).
    void setLineHandler(LineHandler handler) { m_handler = std::move(handler); }
    // Whether lines are kept for lines()/takeLines(); on by default.
    void setKeepsLines(bool keep) { m_keepLines = keep; }

    const QStringList& lines() const { return m_lines; }
    QStringList takeLines();
    void clear() { m_lines.clear(); }

    void postMouseEvent(MouseEventType type, MouseButton button, QPointF point, std::uint64_t flags,
                        std::int64_t clickState) override;
    void postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags) override;
    void postMagnify(double magnification, int phase, QPointF point) override;
    void postKey(std::uint16_t keyCode, bool down, std::uint64_t flags) override;
    void postUnicodeText(const char16_t* units, int length, std::uint64_t flags) override;
    void postMediaKey(int keyType, bool down) override;
    void warpCursor(QPointF point) override;
    void launchProgram(const QString& program, const QStringList& arguments) override;

    static QString mouseEventName(MouseEventType type);

    // A line for something the engine did that is no input event (the touch
    // keyboard shown), timed like the others: "0.300 keyboard show".
    void note(const QString& what) { write(what); }

private:
    const Scheduler& m_scheduler;
    double m_origin;
    bool m_keepLines = true;
    QStringList m_lines;
    LineHandler m_handler;

    void write(const QString& event);
};
