#include "keyboard/VTKeyboardButton.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr qreal kCornerRadius = 8;

QColor capColour(bool active)
{
    return active ? QColor::fromRgbF(0.72f, 0.14f, 0.82f, 0.92f) : QColor::fromRgbF(1, 1, 1, 0.74f);
}

} // namespace

VTKeyboardButton::VTKeyboardButton(const KeyDescriptor& descriptor, KeyButtonHoldTarget& holdTarget, QWidget* parent)
    : QAbstractButton(parent), m_descriptor(descriptor), m_holdTarget(holdTarget)
{
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("key-") + descriptor.action + QLatin1Char('-') + descriptor.title);
}

void VTKeyboardButton::setActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

void VTKeyboardButton::setTint(const QColor& tint)
{
    if (m_tint == tint)
        return;
    m_tint = tint;
    update();
}

void VTKeyboardButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && !m_holding && m_holdTarget.keyButtonShouldUseHold(*this)) {
        // A held key outputs now and repeats until released; no click follows.
        m_holding = true;
        setDown(true);
        event->accept();
        m_holdTarget.keyButtonHoldBegan(*this);
        return;
    }
    QAbstractButton::mousePressEvent(event);
}

void VTKeyboardButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_holding && event->button() == Qt::LeftButton) {
        event->accept();
        endHold();
        return;
    }
    QAbstractButton::mouseReleaseEvent(event);
}

void VTKeyboardButton::mouseMoveEvent(QMouseEvent* event)
{
    if (m_holding) {
        event->accept(); // a finger that slides keeps the key held
        return;
    }
    QAbstractButton::mouseMoveEvent(event);
}

void VTKeyboardButton::hideEvent(QHideEvent* event)
{
    // The panel hides the keys before the release could arrive.
    if (m_holding)
        endHold();
    QAbstractButton::hideEvent(event);
}

void VTKeyboardButton::endHold()
{
    m_holding = false;
    setDown(false);
    m_holdTarget.keyButtonHoldEnded(*this);
}

void VTKeyboardButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF cap = QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25);
    painter.setPen(QPen(QColor::fromRgbF(0.72f, 0.72f, 0.72f, 0.55f), 0.5));
    painter.setBrush(capColour(m_active));
    painter.drawRoundedRect(cap, kCornerRadius, kCornerRadius);
    if (isDown()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 36));
        painter.drawRoundedRect(cap, kCornerRadius, kCornerRadius);
    }

    if (!icon().isNull()) {
        // Scaled down to fit, never up.
        QSize size = iconSize();
        size = size.boundedTo(rect().size() - QSize(4, 4));
        const QPixmap pixmap = icon().pixmap(size, devicePixelRatioF());
        const QSizeF logical = pixmap.deviceIndependentSize();
        const QPointF at((width() - logical.width()) / 2, (height() - logical.height()) / 2);
        painter.drawPixmap(at, pixmap);
        return;
    }
    painter.setPen(m_tint);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
