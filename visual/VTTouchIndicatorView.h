#pragma once
#include "visual/RippleEffects.h"

#include <QHash>
#include <QRectF>
#include <QVariantList>
#include <QWidget>

#include <vector>

// The content of the touch indicator overlay: a ring at every new contact,
// pulsing again while the contact stays down, fading out after it lifts.
class VTTouchIndicatorView final : public QWidget {
    Q_OBJECT
public:
    static constexpr double kContactTimeout = 0.3; // a contact no longer reported is gone after this

    explicit VTTouchIndicatorView(Scheduler& scheduler, QWidget* parent = nullptr);
    ~VTTouchIndicatorView() override;

    // Contact dictionaries onto the view, by where they lie in the target
    // display's bounds (global display coordinates).
    QPointF viewPointForContact(const QVariantMap& contact, const QRectF& targetBounds) const;
    void addContacts(const QVariantList& contacts, const QRectF& targetBounds);
    void resetEffects();
    void tick();

    // Without a compositor the window cannot blend: only the rings' own
    // pixels are shown, through the window's shape, in full colour.
    void setShaped(bool shaped);
    bool shaped() const { return m_shaped; }

    const std::vector<Ripple>& ripples() const { return _ripples; }
    int activeContactCount() const { return int(_activeContacts.size()); }
    bool animating() const { return m_timer.running(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct ActiveContact {
        QPointF point;
        qint64 kind = 0;
        double lastSeen = 0;
    };

    void redisplay();

    std::vector<Ripple> _ripples;
    QHash<QString, ActiveContact> _activeContacts;
    QHash<QString, double> _lastRippleTimes;
    AnimationTimer m_timer;
    bool m_shaped = false;
};
