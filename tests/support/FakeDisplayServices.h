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
    // Adding a display again moves or resizes it.
    void addDisplay(DisplayID id, QRectF bounds, QSize pixels = {})
    {
        if (!m_displays.contains(id))
            m_order.push_back(id);
        m_displays[id] = {bounds, pixels.isEmpty() ? bounds.size().toSize() : pixels};
    }
    void setMainDisplay(DisplayID id) { m_main = id; }

    std::vector<DisplayID> activeDisplays() const override { return m_order; }
    DisplayID mainDisplay() const override { return m_main; }
    QRectF displayBounds(DisplayID id) const override { return find(id).bounds; }
    QSize displayPixelSize(DisplayID id) const override { return find(id).pixels; }

private:
    struct Display {
        QRectF bounds;
        QSize pixels;
    };
    std::vector<DisplayID> m_order;
    std::map<DisplayID, Display> m_displays;
    DisplayID m_main = 0;

    Display find(DisplayID id) const
    {
        const auto it = m_displays.find(id);
        return it == m_displays.end() ? Display{} : it->second;
    }
};
