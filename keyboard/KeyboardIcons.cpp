#include "keyboard/KeyboardIcons.h"

#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

QPixmap KeyboardIcon::pixmap(const QColor& tint, qreal devicePixelRatio, int size) const
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const int pixels = std::max(1, static_cast<int>(std::ceil(size * ratio)));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        m_renderer->render(&painter, QRectF(0, 0, pixels, pixels));
        // Keep the shapes' coverage, take the colour from the tint.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

KeyboardIcons& KeyboardIcons::shared()
{
    static KeyboardIcons icons(builtInDirectory());
    return icons;
}

QString KeyboardIcons::builtInDirectory()
{
    return QStringLiteral(":/KeyboardIcons");
}

KeyboardIcons::KeyboardIcons(const QString& directory) : m_directory(directory) {}

std::optional<KeyboardIcon> KeyboardIcons::iconNamed(const QString& name)
{
    if (name.isEmpty())
        return std::nullopt;
    if (const auto cached = m_cache.constFind(name); cached != m_cache.cend())
        return *cached;
    const QString path = m_directory + QLatin1Char('/') + name + QStringLiteral(".svg");
    if (!QFileInfo::exists(path))
        return std::nullopt;
    auto renderer = std::make_shared<QSvgRenderer>(path);
    if (!renderer->isValid())
        return std::nullopt;
    const KeyboardIcon icon(std::move(renderer));
    m_cache.insert(name, icon);
    return icon;
}

const QStringList& KeyboardIcons::names()
{
    static const QStringList all = {
        QStringLiteral("tab"),          QStringLiteral("return"),
        QStringLiteral("backspace"),    QStringLiteral("shift"),
        QStringLiteral("caps-lock"),    QStringLiteral("command"),
        QStringLiteral("option"),       QStringLiteral("control"),
        QStringLiteral("home"),         QStringLiteral("end"),
        QStringLiteral("arrow-left"),   QStringLiteral("arrow-right"),
        QStringLiteral("arrow-up"),     QStringLiteral("arrow-down"),
        QStringLiteral("place"),        QStringLiteral("keyboard-minimize"),
        QStringLiteral("keyboard-maximize"), QStringLiteral("hide"),
        QStringLiteral("emoji"),        QStringLiteral("cut"),
        QStringLiteral("copy"),         QStringLiteral("paste"),
        QStringLiteral("redo"),         QStringLiteral("undo"),
        QStringLiteral("volume-down"),  QStringLiteral("volume-up"),
        QStringLiteral("mission-control"),
    };
    return all;
}
