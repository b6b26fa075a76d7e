#pragma once
#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;

// Labels of the small fixed windows, placed at exact frames.
namespace windowtext {

// A plain-text label at `frame` in its parent; `secondary` greys it like a caption.
QLabel* label(QWidget* parent, const QString& text, const QRect& frame, bool secondary = false);
void makeSecondary(QLabel* label);
// The application's font, bold and/or at a pixel size (0 keeps the size).
QFont font(bool bold, int pixelSize = 0);

} // namespace windowtext
