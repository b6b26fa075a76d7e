#include "windows/WindowText.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>

namespace windowtext {

QLabel* label(QWidget* parent, const QString& text, const QRect& frame, bool secondary)
{
    auto* label = new QLabel(parent);
    // Some lines show what a device or the maker's service said: text, never markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setGeometry(frame);
    if (secondary)
        makeSecondary(label);
    return label;
}

void makeSecondary(QLabel* label)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

QFont font(bool bold, int pixelSize)
{
    QFont f = QApplication::font();
    f.setBold(bold);
    if (pixelSize > 0)
        f.setPixelSize(pixelSize);
    return f;
}

} // namespace windowtext
