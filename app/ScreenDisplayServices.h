#pragma once
#include "touch/DisplayServices.h"

// Monitors as Qt's screens see them, where XRandR cannot be asked (a
// Wayland session without X).
class ScreenDisplayServices final : public DisplayServices {
public:
    std::vector<DisplayID> activeDisplays() const override;
    DisplayID mainDisplay() const override;
    QRectF displayBounds(DisplayID id) const override;
    QSize displayPixelSize(DisplayID id) const override;
};
