#include "bench/latency/Scenario.h"

QString Scenario::name() const
{
    return QStringLiteral("%1 %2/s %3 slot%4")
        .arg(gesture == Drag ? QStringLiteral("drag") : QStringLiteral("scroll"))
        .arg(rate)
        .arg(slotCount)
        .arg(slotCount == 1 ? "" : "s");
}

QList<QPoint> Scenario::frame(int k) const
{
    if (gesture == Drag)
        return {QPoint(100 + 2 * (k % 850), 300 + 4 * (k / 850 % 150))};
    const int phase = k % 50;
    const int y = 140 + 32 * (phase < 25 ? phase : 50 - phase);
    return {QPoint(800, y), QPoint(1100, y)};
}

QList<Scenario> allScenarios()
{
    QList<Scenario> scenarios;
    for (Scenario::Gesture gesture : {Scenario::Drag, Scenario::Scroll})
        for (int rate : {120, 240})
            for (int slotCount : {1, 2, 10})
                scenarios.append({gesture, rate, slotCount});
    return scenarios;
}
