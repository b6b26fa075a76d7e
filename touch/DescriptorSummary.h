#pragma once
#include "touch/TouchTypes.h"

#include <QString>
#include <QVariantMap>

// The diagnostic dictionary of a valid layout (18 keys, one 16-key entry per
// slot under "contacts"); it converts to JSON as it stands. An invalid layout
// gives an empty map.
QVariantMap descriptorSummary(const TouchLayout& layout);

// The decoder status of a valid layout: "HidDigitizerDescriptor report=%u contacts=%d".
QString decoderStatusText(const TouchLayout& layout);
