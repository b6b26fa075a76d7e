#include "keyboard/KeyboardGeometry.h"

#include "keyboard/KeyboardLayouts.h"

#include <algorithm>
#include <cmath>

namespace KeyboardGeometry {

namespace {

const QString kBottomCenter = QStringLiteral("bottomCenter");

int rounded(double value)
{
    return static_cast<int>(std::round(value)); // halves away from zero
}

} // namespace

QSize panelSizeForRowCount(int rows)
{
    if (rows < 1)
        return {kPanelWidth, 2 * kPanelInset};
    return {kPanelWidth, rows * kKeyHeight + (rows - 1) * kKeyGap + 2 * kPanelInset};
}

QList<QRect> keyFrames(const QList<KeyRow>& rows, QSize keyArea)
{
    const int units = KeyboardLayout::kUnitsPerRow;
    const double unit = (keyArea.width() - double(units - 1) * kKeyGap) / units;
    const int count = static_cast<int>(rows.size());
    const double total = count * kKeyHeight + (std::max(count, 1) - 1) * kKeyGap;
    double rowTop = std::max(0.0, (keyArea.height() - total) / 2);
    QList<QRect> frames;
    for (const KeyRow& row : rows) {
        double x = 0;
        for (const KeyDescriptor& key : row) {
            const int rowSpan = std::max(key.rowSpan, 1);
            const double width = key.span * unit + (key.span - 1) * kKeyGap;
            const double height = rowSpan * kKeyHeight + (rowSpan - 1) * kKeyGap;
            frames << QRect(rounded(x), rounded(rowTop), rounded(width), rounded(height));
            x += width + kKeyGap;
        }
        rowTop += kKeyHeight + kKeyGap;
    }
    return frames;
}

const QStringList& keyboardPositions()
{
    static const QStringList positions = {
        QStringLiteral("bottomLeft"), kBottomCenter,          QStringLiteral("bottomRight"),
        QStringLiteral("topLeft"),    QStringLiteral("topCenter"), QStringLiteral("topRight"),
    };
    return positions;
}

QString normalizedKeyboardPosition(const QString& stored)
{
    if (stored == QLatin1String("bottom"))
        return kBottomCenter;
    if (stored == QLatin1String("top"))
        return QStringLiteral("topCenter");
    if (stored == QLatin1String("left"))
        return QStringLiteral("bottomLeft");
    if (stored == QLatin1String("right"))
        return QStringLiteral("bottomRight");
    return keyboardPositions().contains(stored) ? stored : kBottomCenter;
}

QString nextKeyboardPosition(const QString& stored)
{
    const QStringList& positions = keyboardPositions();
    const auto index = positions.indexOf(normalizedKeyboardPosition(stored));
    return positions.at((index + 1) % positions.size());
}

QPoint keyboardOrigin(const QString& position, const QRect& available, QSize panel)
{
    const double left = available.x();
    const double top = available.y();
    const double width = available.width();
    const double height = available.height();
    const QString where = normalizedKeyboardPosition(position);

    double x = left + width / 2 - panel.width() / 2.0;
    if (where.endsWith(QLatin1String("Left")))
        x = left + kScreenMargin;
    else if (where.endsWith(QLatin1String("Right")))
        x = left + width - panel.width() - kScreenMargin;
    double y = where.startsWith(QLatin1String("top")) ? top + kScreenMargin
                                                        : top + height - panel.height() - kScreenMargin;

    x = std::min(std::max(x, left + kScreenMargin), left + width - panel.width() - kScreenMargin);
    y = std::max(std::min(y, top + height - panel.height() - kScreenMargin), top + kScreenMargin);
    return {rounded(x), rounded(y)};
}

} // namespace KeyboardGeometry
