#pragma once
#include "touch/TouchTypes.h"

#include <QRectF>
#include <QVariantList>

// The 12-key dictionary of every contact of a list, in list order, each
// mapped onto the display bounds ("screenX", "screenY").
QVariantList contactDictionariesFromList(const TouchContactList& list, const QRectF& bounds);
