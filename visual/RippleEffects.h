#pragma once
#include "base/Scheduler.h"

#include <QColor>
#include <QPointF>
#include <QRegion>
#include <QString>
#include <QVariantMap>

#include <functional>

class QPainter;

// One expanding, fading ring with a dot, drawn where a contact touched.
struct Ripple {
    QPointF point; // view coordinates
    double start = 0;
    qint64 kind = 0; // ContactKind
};

// What the touch indicators and the compatibility touch area draw alike.
namespace ripples {

inline constexpr double kAnimationInterval = 1.0 / 30.0;
inline constexpr double kLifetime = 0.85;
// A contact held down pulses a new ring this often.
inline constexpr double kPulseInterval = 0.22;

QColor colorForKind(qint64 kind);
qint64 contactKind(const QVariantMap& contact);
// "kind-id": a finger and a pen with the same identifier stay apart.
QString contactKey(const QVariantMap& contact);

// `opaque` draws in full colour, for windows that cannot blend.
void drawRipple(QPainter& painter, const Ripple& ripple, double now, bool opaque = false);
// The pixels drawRipple touches, as a window shape.
QRegion rippleRegion(const Ripple& ripple, double now);

} // namespace ripples

// The 1/30 s animation tick of a view, running only while it has something
// to animate so that an idle view costs no wake-ups.
class AnimationTimer {
public:
    AnimationTimer(Scheduler& scheduler, std::function<void()> tick);
    ~AnimationTimer();
    AnimationTimer(const AnimationTimer&) = delete;
    AnimationTimer& operator=(const AnimationTimer&) = delete;

    void setRunning(bool running);
    bool running() const { return m_timer != 0; }
    Scheduler& scheduler() const { return m_scheduler; }

private:
    Scheduler& m_scheduler;
    std::function<void()> m_tick;
    Scheduler::TimerId m_timer = 0;
};
