#pragma once
#include "touch/TouchTypes.h"

#include <QString>

#include <cstddef>
#include <cstdint>

// The diagnostic text of one input report: its bytes, the decoder status
// ("No descriptor decoder" when empty) and, for a valid layout, the frame
// counters and one line per decoded contact.
QString debugTextForReport(const std::uint8_t* report, std::size_t length, const TouchContactList& list,
                           const QString& decoderStatus, const TouchLayout& layout, bool hybridModeObserved);
