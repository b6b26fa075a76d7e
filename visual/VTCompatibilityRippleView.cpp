#include "visual/VTCompatibilityRippleView.h"

#include "touch/TouchTypes.h"
#include "visual/DesktopScreens.h"

#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QSet>

#include <algorithm>

namespace {

double rawFraction(const QVariantMap& contact, const char* value, const char* minimum, const char* maximum,
                   double fallbackMaximum)
{
    const double low = contact.value(QLatin1String(minimum)).toDouble();
    double high = contact.value(QLatin1String(maximum)).toDouble();
    if (high <= low)
        high = fallbackMaximum;
    return (contact.value(QLatin1String(value)).toDouble() - low) / std::max(high - low, 1.0);
}

} // namespace

VTCompatibilityRippleView::VTCompatibilityRippleView(Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), m_timer(scheduler, [this] { tick(); })
{
    setObjectName(QStringLiteral("touchArea"));
}

VTCompatibilityRippleView::~VTCompatibilityRippleView() = default;

QPointF VTCompatibilityRippleView::viewPointForContact(const QVariantMap& contact) const
{
    const QVariant screenX = contact.value(QStringLiteral("screenX"));
    const QVariant screenY = contact.value(QStringLiteral("screenY"));
    if (screenX.isValid() && screenY.isValid() && isVisible()) {
        const QPointF global = desktopscreens::qtGlobalPoint(QPointF(screenX.toDouble(), screenY.toDouble()));
        const QPointF local = mapFromGlobal(global);
        return QPointF(std::clamp(local.x(), 0.0, double(width())), std::clamp(local.y(), 0.0, double(height())));
    }
    return QPointF(rawFraction(contact, "x", "xMinimum", "xMaximum", 4800) * width(),
                   rawFraction(contact, "y", "yMinimum", "yMaximum", 3000) * height());
}

void VTCompatibilityRippleView::addRippleAtPoint(const QPointF& point, qint64 kind, double start)
{
    _ripples.push_back({point, start, kind});
}

void VTCompatibilityRippleView::addContacts(const QVariantList& contacts)
{
    const double now = m_timer.scheduler().now();
    QSet<QString> seen;
    for (const QVariant& item : contacts) {
        const QVariantMap contact = item.toMap();
        const qint64 kind = ripples::contactKind(contact);
        if (kind == 0)
            continue;
        const QString key = ripples::contactKey(contact);
        seen.insert(key);
        const QPointF point = viewPointForContact(contact);
        const auto last = _lastPoints.constFind(key);
        if (last == _lastPoints.constEnd()) {
            addRippleAtPoint(point, kind, now);
            _lastRippleTimes.insert(key, now);
        } else {
            const double sinceSeen = now - _lastSeenTimes.value(key, 0);
            if (sinceSeen < kReportGap && QLineF(*last, point).length() > kMinimumTrailStep)
                _trails.push_back({*last, point, now, kind});
            if (sinceSeen >= kReportGap || now - _lastRippleTimes.value(key) > ripples::kPulseInterval) {
                addRippleAtPoint(point, kind, now);
                _lastRippleTimes.insert(key, now);
            }
        }
        _lastPoints.insert(key, point);
        _lastSeenTimes.insert(key, now);
    }
    for (auto it = _lastPoints.begin(); it != _lastPoints.end();) {
        if (seen.contains(it.key())) {
            ++it;
            continue;
        }
        _lastRippleTimes.remove(it.key());
        _lastSeenTimes.remove(it.key());
        it = _lastPoints.erase(it);
    }
    redisplay();
}

void VTCompatibilityRippleView::tick()
{
    const double now = m_timer.scheduler().now();
    std::erase_if(_ripples, [now](const Ripple& r) { return now - r.start > ripples::kLifetime; });
    std::erase_if(_trails, [now](const Trail& t) { return now - t.start > kTrailLifetime; });
    redisplay();
}

void VTCompatibilityRippleView::resetEffects()
{
    _ripples.clear();
    _trails.clear();
    _lastPoints.clear();
    _lastRippleTimes.clear();
    _lastSeenTimes.clear();
    redisplay();
}

void VTCompatibilityRippleView::redisplay()
{
    m_timer.setRunning(!_ripples.empty() || !_trails.empty());
    update();
}

void VTCompatibilityRippleView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Rounded corners, clipped.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), 12, 12);
    painter.setClipPath(outline);
    painter.fillRect(rect(), QColor::fromRgbF(0.98f, 0.98f, 0.98f));

    QPainterPath grid;
    for (int x = 0; x <= width(); x += kGridSpacing) {
        grid.moveTo(x, 0);
        grid.lineTo(x, height());
    }
    for (int y = 0; y <= height(); y += kGridSpacing) {
        grid.moveTo(0, y);
        grid.lineTo(width(), y);
    }
    QColor gridColour = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    gridColour.setAlphaF(0.55f);
    painter.strokePath(grid, QPen(gridColour, 0.5));

    const double now = m_timer.scheduler().now();
    for (const Trail& trail : _trails) {
        const double fade = std::max(1 - (now - trail.start) / kTrailLifetime, 0.0);
        QColor colour = ripples::colorForKind(trail.kind);
        colour.setAlphaF(float(fade * 0.56));
        const double width = trail.kind == ContactKindEraser ? 8 : trail.kind == ContactKindPen ? 3 : 5;
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(trail.from, trail.to);
    }
    for (const Ripple& ripple : _ripples)
        ripples::drawRipple(painter, ripple, now);
}
