#pragma once
#include "touch/DisplayServices.h"

#include <QRectF>
#include <QString>

#include <vector>

// Which monitor the touch display drives, from the "displaySelection"
// setting: "auto", "primary", "secondary" or "display:<id>"; an empty or
// unknown value counts as "auto".
namespace DisplaySelection {

inline constexpr int kMaxDisplays = 32;

// Active displays (at most 32; the main display alone when the platform
// reports none), sorted by origin x, then origin y, then ID.
std::vector<DisplayServices::DisplayID> sortedDisplayList(const DisplayServices& displays);

DisplayServices::DisplayID selectedDisplayID(const DisplayServices& displays, const QString& selection);
QRectF targetDisplayBounds(const DisplayServices& displays, const QString& selection);

} // namespace DisplaySelection
