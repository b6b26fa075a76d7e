#include "app/ScreenDisplayServices.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

// Stable across restarts: derived from the connector's name.
DisplayServices::DisplayID idOf(const QScreen* screen)
{
    const std::uint32_t hash = std::uint32_t(qHash(screen->name(), 0));
    return hash == 0 ? 1 : hash;
}

const QScreen* screenOf(DisplayServices::DisplayID id)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (idOf(screen) == id)
            return screen;
    }
    return nullptr;
}

} // namespace

std::vector<DisplayServices::DisplayID> ScreenDisplayServices::activeDisplays() const
{
    std::vector<DisplayID> ids;
    for (const QScreen* screen : QGuiApplication::screens())
        ids.push_back(idOf(screen));
    return ids;
}

DisplayServices::DisplayID ScreenDisplayServices::mainDisplay() const
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? idOf(primary) : 0;
}

QRectF ScreenDisplayServices::displayBounds(DisplayID id) const
{
    const QScreen* screen = screenOf(id);
    return screen ? QRectF(screen->geometry()) : QRectF();
}

QSize ScreenDisplayServices::displayPixelSize(DisplayID id) const
{
    const QScreen* screen = screenOf(id);
    return screen ? (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize() : QSize();
}
