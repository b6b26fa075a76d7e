#pragma once
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSvgRenderer;

// A monochrome vector icon drawn in the colour its user asks for: only the
// shapes' coverage counts, never their own colour.
class KeyboardIcon {
public:
    // Logical pixels, square.
    static constexpr int kSize = 18;

    explicit KeyboardIcon(std::shared_ptr<QSvgRenderer> renderer) : m_renderer(std::move(renderer)) {}

    // The icon at size x size logical pixels for a screen of that pixel ratio.
    QPixmap pixmap(const QColor& tint, qreal devicePixelRatio = 1.0, int size = kSize) const;

private:
    std::shared_ptr<QSvgRenderer> m_renderer;
};

// The keyboard's icons, one SVG file per name in a directory. A loaded icon
// is kept; a missing or unreadable one is looked for again next time, so
// the key shows its label meanwhile. Main thread only.
class KeyboardIcons {
public:
    // The icons built into the program.
    static KeyboardIcons& shared();
    static QString builtInDirectory();

    explicit KeyboardIcons(const QString& directory);

    std::optional<KeyboardIcon> iconNamed(const QString& name);

    // Every icon name the keyboard uses.
    static const QStringList& names();

private:
    QString m_directory;
    QHash<QString, KeyboardIcon> m_cache;
};
