#pragma once
#include "touch/TouchTypes.h"

#include <QPointF>
#include <QRectF>

#include <algorithm>
#include <cstdint>

// Linear mapping of raw logical values onto display bounds (global points,
// top-left origin). The raw minimum lands on the left/top edge, the maximum
// on origin + size itself; values outside the range are clamped.

// One axis. The range is taken in 64 bits: a 32-bit difference of extreme
// logical limits would wrap.
inline double mapRawAxis(std::uint32_t raw, std::int32_t minimum, std::int32_t maximum, double origin, double size)
{
    std::int64_t range = std::int64_t(maximum) - std::int64_t(minimum);
    if (range < 1)
        range = 1;
    const double t = std::clamp((double(raw) - double(minimum)) / double(range), 0.0, 1.0);
    return origin + t * size;
}

inline QPointF mapRawX(std::uint32_t rawX, std::uint32_t rawY, std::int32_t xMinimum, std::int32_t xMaximum,
                       std::int32_t yMinimum, std::int32_t yMaximum, const QRectF& bounds)
{
    return QPointF(mapRawAxis(rawX, xMinimum, xMaximum, bounds.x(), bounds.width()),
                   mapRawAxis(rawY, yMinimum, yMaximum, bounds.y(), bounds.height()));
}

inline QPointF mapContact(const TouchContact& contact, const QRectF& bounds)
{
    return mapRawX(contact.rawX, contact.rawY, contact.xMinimum, contact.xMaximum, contact.yMinimum, contact.yMaximum,
                   bounds);
}
