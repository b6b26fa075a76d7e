#pragma once
#include "keyboard/KeyDescriptor.h"

#include <QAbstractButton>
#include <QColor>

class VTKeyboardButton;

// Hold mode as a key button sees it: a press that should repeat starts the
// hold instead of an ordinary click, and the release ends it.
class KeyButtonHoldTarget {
public:
    virtual ~KeyButtonHoldTarget() = default;
    virtual bool keyButtonShouldUseHold(VTKeyboardButton& button) = 0;
    virtual void keyButtonHoldBegan(VTKeyboardButton& button) = 0;
    virtual void keyButtonHoldEnded(VTKeyboardButton& button) = 0;
};

// One key of the touch keyboard: a rounded key cap showing an icon or a
// label in its tint colour. It never takes the keyboard focus.
class VTKeyboardButton final : public QAbstractButton {
    Q_OBJECT
public:
    VTKeyboardButton(const KeyDescriptor& descriptor, KeyButtonHoldTarget& holdTarget, QWidget* parent);

    const KeyDescriptor& descriptor() const { return m_descriptor; }

    // A latched modifier or mode: coloured key cap, white tint.
    void setActive(bool active);
    bool isActive() const { return m_active; }
    void setTint(const QColor& tint);
    QColor tint() const { return m_tint; }
    bool holding() const { return m_holding; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void endHold();

    KeyDescriptor m_descriptor;
    KeyButtonHoldTarget& m_holdTarget;
    QColor m_tint;
    bool m_active = false;
    bool m_holding = false;
};
