#pragma once
#include <QByteArray>
#include <QList>
#include <QPoint>

// A made-up touch screen with a chosen number of contact slots per report,
// whose raw units are tenths of a pixel of a 1920x1080 screen. A frame with
// more contacts than slots is spread over several reports, the first one
// carrying the frame's contact count and the others zero.
class SyntheticTouchDisplay {
public:
    static constexpr int kWidth = 1920;
    static constexpr int kHeight = 1080;
    static constexpr int kMaxSlots = 10;

    explicit SyntheticTouchDisplay(int slotCount);

    QByteArray descriptor() const;
    int reportLength() const { return 2 + kSlotBytes * m_slotCount; }
    // The reports of one frame of fingers at these pixels; none lifts them all.
    QList<QByteArray> reportsForFrame(const QList<QPoint>& fingers) const;

    // Where a poster finds things without parsing the descriptor.
    static constexpr int kSlotBytes = 6; // tip, contact id, x (16 bits), y (16 bits)
    int contactCountOffset() const { return 1 + kSlotBytes * m_slotCount; }
    // The pixel whose raw value a slot holds, when its tip is down.
    static bool slotPixel(const unsigned char* report, int slot, QPoint* pixel);

private:
    int m_slotCount;
};
