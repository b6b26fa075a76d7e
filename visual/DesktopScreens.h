#pragma once
#include <QPointF>
#include <QRectF>

class QScreen;

// Global display coordinates are X root-window pixels; Qt's screens and
// windows use device-independent pixels that differ from them when Qt scales
// (a high-DPI desktop). These convert between the two through the screens.
namespace desktopscreens {

// A screen's area in display coordinates: Qt keeps a screen's top left in
// native pixels and scales only its size.
QRectF displayRect(const QScreen* screen);

// The screen that shows these display bounds: the one with the same area,
// else the one holding their centre, else the primary screen.
QScreen* screenForDisplayBounds(const QRectF& bounds);

// The Qt global position of a display point, through the screen that holds
// it (the primary screen when none does).
QPointF qtGlobalPoint(const QPointF& displayPoint);

} // namespace desktopscreens
