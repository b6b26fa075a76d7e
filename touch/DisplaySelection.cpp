#include "touch/DisplaySelection.h"

#include <algorithm>

namespace DisplaySelection {

using DisplayID = DisplayServices::DisplayID;

std::vector<DisplayID> sortedDisplayList(const DisplayServices& displays)
{
    std::vector<DisplayID> list = displays.activeDisplays();
    if (list.size() > static_cast<std::size_t>(kMaxDisplays))
        list.resize(kMaxDisplays);
    if (list.empty())
        list.push_back(displays.mainDisplay());
    std::stable_sort(list.begin(), list.end(), [&](DisplayID a, DisplayID b) {
        const QRectF ra = displays.displayBounds(a);
        const QRectF rb = displays.displayBounds(b);
        if (ra.x() != rb.x())
            return ra.x() < rb.x();
        if (ra.y() != rb.y())
            return ra.y() < rb.y();
        return a < b;
    });
    return list;
}

// The largest display that is not the main one; the main display when it is
// the only one.
static DisplayID automaticFrom(const DisplayServices& displays, const std::vector<DisplayID>& list)
{
    const DisplayID mainID = displays.mainDisplay();
    const bool othersListed = std::any_of(list.begin(), list.end(), [&](DisplayID id) { return id != mainID; });
    // Starting below zero means a set of empty displays still yields the first.
    double bestArea = -1.0;
    DisplayID best = mainID;
    for (DisplayID id : list) {
        if (othersListed && id == mainID)
            continue;
        const QRectF bounds = displays.displayBounds(id);
        const double area = bounds.width() * bounds.height();
        if (area > bestArea) {
            bestArea = area;
            best = id;
        }
    }
    return best;
}

DisplayID selectedDisplayID(const DisplayServices& displays, const QString& selection)
{
    const std::vector<DisplayID> list = sortedDisplayList(displays);
    const DisplayID mainID = displays.mainDisplay();
    if (selection == QLatin1String("primary"))
        return mainID;
    if (selection == QLatin1String("secondary")) {
        for (DisplayID id : list) {
            if (id != mainID)
                return id;
        }
        return mainID;
    }
    static const QLatin1String prefix("display:");
    if (selection.startsWith(prefix)) {
        bool ok = false;
        const uint id = selection.mid(prefix.size()).toUInt(&ok, 10);
        if (ok && std::find(list.begin(), list.end(), static_cast<DisplayID>(id)) != list.end())
            return static_cast<DisplayID>(id);
    }
    return automaticFrom(displays, list);
}

QRectF targetDisplayBounds(const DisplayServices& displays, const QString& selection)
{
    return displays.displayBounds(selectedDisplayID(displays, selection));
}

} // namespace DisplaySelection
