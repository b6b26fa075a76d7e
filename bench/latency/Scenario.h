#pragma once
#include <QList>
#include <QPoint>
#include <QString>

// One measured situation: a gesture at a report rate on a display with a
// number of contact slots per report.
struct Scenario {
    enum Gesture { Drag, Scroll };
    Gesture gesture = Drag;
    int rate = 120; // reports per second
    int slotCount = 1;

    QString name() const;
    int fingers() const { return gesture == Drag ? 1 : 2; }
    int reportsPerFrame() const { return (fingers() + slotCount - 1) / slotCount; }
    // The fingers of frame k. A drag visits a new pixel in every frame; a
    // scroll moves its two fingers 32 pixels up or down, one wheel step
    // with the default scroll scale.
    QList<QPoint> frame(int k) const;
};

// Every scenario, each gesture at 120 and 240 reports per second on
// displays with 1, 2 and 10 contact slots per report.
QList<Scenario> allScenarios();
