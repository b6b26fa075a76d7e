#pragma once
#include "touch/DisplayServices.h"

#include <QRectF>
#include <QSize>

#include <map>
#include <vector>

// A monitor arrangement set up by the test; displays are reported in the
// order they were added, like a platform that does not sort them.
class FakeDisplayServices final : public DisplayServices {
public:
    void addDisplay(DisplayID id, QRectF bounds, QSize pixels = {})
    {
        m_order.push_back(id);
        m_bounds[id] = bounds;
        m_pixels[id] = pixels.isEmpty() ? bounds.size().toSize() : pixels;
    }
    void setMainDisplay(DisplayID id) { m_main = id; }

    std::vector<DisplayID> activeDisplays() const override { return m_order; }
    DisplayID mainDisplay() const override { return m_main; }
    QRectF displayBounds(DisplayID id) const override
    {
        const auto it = m_bounds.find(id);
        return it == m_bounds.end() ? QRectF() : it->second;
    }
    QSize displayPixelSize(DisplayID id) const override
    {
        const auto it = m_pixels.find(id);
        return it == m_pixels.end() ? QSize() : it->second;
    }

private:
    std::vector<DisplayID> m_order;
    std::map<DisplayID, QRectF> m_bounds;
    std::map<DisplayID, QSize> m_pixels;
    DisplayID m_main = 0;
};
