#include "visual/DesktopScreens.h"

#include <QGuiApplication>
#include <QScreen>

namespace desktopscreens {

QRectF displayRect(const QScreen* screen)
{
    const QRect geometry = screen->geometry();
    return QRectF(geometry.topLeft(), QSizeF(geometry.size()) * screen->devicePixelRatio());
}

QScreen* screenForDisplayBounds(const QRectF& bounds)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (displayRect(screen).toAlignedRect() == bounds.toAlignedRect())
            return screen;
    }
    for (QScreen* screen : screens) {
        if (displayRect(screen).contains(bounds.center()))
            return screen;
    }
    return QGuiApplication::primaryScreen();
}

QPointF qtGlobalPoint(const QPointF& displayPoint)
{
    const QScreen* chosen = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (displayRect(screen).contains(displayPoint)) {
            chosen = screen;
            break;
        }
    }
    if (!chosen)
        return displayPoint;
    const QPointF origin = chosen->geometry().topLeft();
    return origin + (displayPoint - origin) / chosen->devicePixelRatio();
}

} // namespace desktopscreens
