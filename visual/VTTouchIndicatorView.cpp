#include "visual/VTTouchIndicatorView.h"

#include <QPainter>

#include <algorithm>

namespace {

// Outside every window: a shape that shows nothing (an empty region would
// remove the shape and show the whole window).
const QRegion kNothingShown(-1, -1, 1, 1);

} // namespace

VTTouchIndicatorView::VTTouchIndicatorView(Scheduler& scheduler, QWidget* parent)
    : QWidget(parent), m_timer(scheduler, [this] { tick(); })
{
    setObjectName(QStringLiteral("touchIndicatorView"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

VTTouchIndicatorView::~VTTouchIndicatorView() = default;

QPointF VTTouchIndicatorView::viewPointForContact(const QVariantMap& contact, const QRectF& targetBounds) const
{
    const auto fraction = [](double value, double origin, double extent) {
        return std::clamp((value - origin) / std::max(extent, 1.0), 0.0, 1.0);
    };
    const double tx = fraction(contact.value(QStringLiteral("screenX")).toDouble(), targetBounds.x(), targetBounds.width());
    const double ty = fraction(contact.value(QStringLiteral("screenY")).toDouble(), targetBounds.y(), targetBounds.height());
    return QPointF(tx * width(), ty * height());
}

void VTTouchIndicatorView::addContacts(const QVariantList& contacts, const QRectF& targetBounds)
{
    const double now = m_timer.scheduler().now();
    if (contacts.isEmpty()) {
        // Rings already drawn keep fading.
        _activeContacts.clear();
        _lastRippleTimes.clear();
        return;
    }
    for (const QVariant& item : contacts) {
        const QVariantMap contact = item.toMap();
        const qint64 kind = ripples::contactKind(contact);
        if (kind == 0)
            continue;
        const QString key = ripples::contactKey(contact);
        const QPointF point = viewPointForContact(contact, targetBounds);
        const bool known = _activeContacts.contains(key);
        _activeContacts.insert(key, {point, kind, now});
        if (!known) {
            _ripples.push_back({point, now, kind});
            _lastRippleTimes.insert(key, now);
        }
    }
    redisplay();
}

void VTTouchIndicatorView::tick()
{
    const double now = m_timer.scheduler().now();
    std::erase_if(_ripples, [now](const Ripple& r) { return now - r.start > ripples::kLifetime; });
    for (auto it = _activeContacts.begin(); it != _activeContacts.end();) {
        if (now - it->lastSeen > kContactTimeout) {
            _lastRippleTimes.remove(it.key());
            it = _activeContacts.erase(it);
            continue;
        }
        if (now - _lastRippleTimes.value(it.key()) >= ripples::kPulseInterval) {
            _ripples.push_back({it->point, now, it->kind});
            _lastRippleTimes.insert(it.key(), now);
        }
        ++it;
    }
    redisplay();
}

void VTTouchIndicatorView::resetEffects()
{
    _ripples.clear();
    _activeContacts.clear();
    _lastRippleTimes.clear();
    redisplay();
}

void VTTouchIndicatorView::setShaped(bool shaped)
{
    m_shaped = shaped;
    if (shaped)
        redisplay();
    else
        clearMask();
}

void VTTouchIndicatorView::redisplay()
{
    m_timer.setRunning(!_ripples.empty() || !_activeContacts.isEmpty());
    if (m_shaped) {
        const double now = m_timer.scheduler().now();
        QRegion shape;
        for (const Ripple& ripple : _ripples)
            shape += ripples::rippleRegion(ripple, now);
        setMask(shape.isEmpty() ? kNothingShown : shape);
    }
    update();
}

void VTTouchIndicatorView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double now = m_timer.scheduler().now();
    for (const Ripple& ripple : _ripples)
        ripples::drawRipple(painter, ripple, now, m_shaped);
}
