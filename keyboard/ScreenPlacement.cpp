#include "keyboard/ScreenPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

QScreen* largestVisibleScreen()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return nullptr;
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : screens) {
        const QRect r = screen->availableGeometry();
        const qint64 area = qint64(r.width()) * r.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    if (best)
        return best;
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary : screens.first();
}

void centerWindowOnLargestScreen(QWidget* window)
{
    QScreen* screen = largestVisibleScreen();
    if (!window || !screen)
        return;
    const QRectF area = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    const QPointF topLeft = area.center() - QPointF(size.width() / 2.0, size.height() / 2.0);
    window->move(int(std::lround(topLeft.x())), int(std::lround(topLeft.y())));
}
