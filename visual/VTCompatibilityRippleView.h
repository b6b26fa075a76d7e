#pragma once
#include "visual/RippleEffects.h"

#include <QHash>
#include <QVariantList>
#include <QWidget>

#include <vector>

// The touch area of the compatibility check: a light grid, and for every
// contact a ring, a dot and a fading trail along its path, coloured by kind,
// so the user sees at once which touches the display reports and as what.
class VTCompatibilityRippleView final : public QWidget {
    Q_OBJECT
public:
    struct Trail {
        QPointF from;
        QPointF to;
        double start = 0;
        qint64 kind = 0;
    };

    static constexpr double kTrailLifetime = 1.1;
    // A contact unseen for this long starts afresh, without a trail across the gap.
    static constexpr double kReportGap = 0.18;
    static constexpr double kMinimumTrailStep = 1.5;
    static constexpr int kGridSpacing = 36;

    explicit VTCompatibilityRippleView(Scheduler& scheduler, QWidget* parent = nullptr);
    ~VTCompatibilityRippleView() override;

    QPointF viewPointForContact(const QVariantMap& contact) const;
    void addRippleAtPoint(const QPointF& point, qint64 kind, double start);
    void addContacts(const QVariantList& contacts);
    void resetEffects();
    void tick();

    const std::vector<Ripple>& ripples() const { return _ripples; }
    const std::vector<Trail>& trails() const { return _trails; }
    bool animating() const { return m_timer.running(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void redisplay();

    std::vector<Ripple> _ripples;
    std::vector<Trail> _trails;
    QHash<QString, QPointF> _lastPoints;
    QHash<QString, double> _lastRippleTimes;
    QHash<QString, double> _lastSeenTimes;
    AnimationTimer m_timer;
};
