#pragma once
#include "keyboard/KeyDescriptor.h"

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

// Where the keyboard panel goes and where its keys lie, in logical pixels
// with the origin at the top left.
namespace KeyboardGeometry {

inline constexpr int kPanelWidth = 780;
inline constexpr int kKeyHeight = 40;
inline constexpr int kKeyGap = 6;
// Between the panel's edge and its keys, and between the panel and the
// edge of the screen.
inline constexpr int kPanelInset = 8;
inline constexpr int kScreenMargin = 16;

// 780 wide; n rows of 40 with gaps of 6 and an inset of 8 above and below.
QSize panelSizeForRowCount(int rows);

// Each key's frame inside the key area (the panel inset by 8 on every
// side): 14 units and 13 gaps fill the width, the rows are centred in the
// height, and a key taller than a row hangs down into the next.
QList<QRect> keyFrames(const QList<KeyRow>& rows, QSize keyArea);

// The six saved positions, in cycling order.
const QStringList& keyboardPositions();
// A stored value as one of the six: the short forms "bottom", "top",
// "left" and "right" are understood, anything else is "bottomCenter".
QString normalizedKeyboardPosition(const QString& stored);
QString nextKeyboardPosition(const QString& stored);

// The panel's top left on a screen's available area: 16 from the edges the
// position names, centred otherwise. When the panel does not fit, its top
// edge stays on the screen, and horizontally the right margin wins.
QPoint keyboardOrigin(const QString& position, const QRect& available, QSize panel);

} // namespace KeyboardGeometry
