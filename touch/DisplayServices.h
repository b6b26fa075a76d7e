#pragma once
#include <QRectF>
#include <QSize>

#include <cstdint>
#include <vector>

// What the platform tells about monitors. Bounds are in global display
// coordinates: X root-window pixels, origin top left, y down.
class DisplayServices {
public:
    using DisplayID = std::uint32_t;

    virtual ~DisplayServices() = default;
    // Active displays in the platform's order (unsorted), at most 32 are used.
    virtual std::vector<DisplayID> activeDisplays() const = 0;
    virtual DisplayID mainDisplay() const = 0;
    // Empty rectangle for an unknown display.
    virtual QRectF displayBounds(DisplayID id) const = 0;
    virtual QSize displayPixelSize(DisplayID id) const = 0;
};
