#include "visual/RippleEffects.h"

#include "touch/TouchTypes.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

namespace {

double progressAt(const Ripple& ripple, double now)
{
    return std::min((now - ripple.start) / ripples::kLifetime, 1.0);
}

double radiusAt(double progress)
{
    return 8 + 42 * progress;
}

double ringWidth(qint64 kind)
{
    return kind == ContactKindPen ? 2 : 3;
}

double dotRadius(qint64 kind)
{
    return kind == ContactKindEraser ? 5 : 3.5;
}

QRect circleRect(const QPointF& centre, double radius)
{
    return QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius).toAlignedRect();
}

} // namespace

namespace ripples {

QColor colorForKind(qint64 kind)
{
    switch (kind) {
    case ContactKindPen:
        return QColor::fromRgbF(0.12f, 0.55f, 1.0f);
    case ContactKindEraser:
        return QColor::fromRgbF(1.0f, 0.32f, 0.55f);
    default:
        return QColor::fromRgbF(0.76f, 0.16f, 0.88f);
    }
}

qint64 contactKind(const QVariantMap& contact)
{
    return contact.value(QStringLiteral("kind")).toLongLong();
}

QString contactKey(const QVariantMap& contact)
{
    return QStringLiteral("%1-%2").arg(contactKind(contact)).arg(contact.value(QStringLiteral("id")).toLongLong());
}

void drawRipple(QPainter& painter, const Ripple& ripple, double now, bool opaque)
{
    const double progress = progressAt(ripple, now);
    const double fade = opaque ? 1.0 : std::max(1 - progress, 0.0);
    QColor ring = colorForKind(ripple.kind);
    ring.setAlphaF(float(opaque ? 1.0 : fade * 0.65));
    painter.setPen(QPen(ring, ringWidth(ripple.kind)));
    painter.setBrush(Qt::NoBrush);
    const double radius = radiusAt(progress);
    painter.drawEllipse(ripple.point, radius, radius);

    QColor dot = colorForKind(ripple.kind);
    dot.setAlphaF(float(opaque ? 1.0 : fade * 0.8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(dot);
    const double dr = dotRadius(ripple.kind);
    painter.drawEllipse(ripple.point, dr, dr);
}

QRegion rippleRegion(const Ripple& ripple, double now)
{
    const double radius = radiusAt(progressAt(ripple, now));
    const double half = ringWidth(ripple.kind) / 2 + 1;
    QRegion ring(circleRect(ripple.point, radius + half), QRegion::Ellipse);
    ring -= QRegion(circleRect(ripple.point, std::max(radius - half, 0.0)), QRegion::Ellipse);
    return ring + QRegion(circleRect(ripple.point, dotRadius(ripple.kind) + 1), QRegion::Ellipse);
}

} // namespace ripples

AnimationTimer::AnimationTimer(Scheduler& scheduler, std::function<void()> tick)
    : m_scheduler(scheduler), m_tick(std::move(tick))
{
}

AnimationTimer::~AnimationTimer()
{
    m_scheduler.cancel(m_timer);
}

void AnimationTimer::setRunning(bool running)
{
    if (running && !m_timer)
        m_timer = m_scheduler.scheduleRepeating(ripples::kAnimationInterval, m_tick);
    else if (!running && m_timer) {
        m_scheduler.cancel(m_timer);
        m_timer = 0;
    }
}
