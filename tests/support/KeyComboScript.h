#pragma once
#include "gestures/EventSink.h"

// A recorded combo of Shift, Command and "1" as the engine posts it:
// modifiers down in order, the key, modifiers up in reverse.
inline void postShiftCommandOne(EventSink& sink)
{
    const std::uint64_t shiftCommand = EventFlags::Shift | EventFlags::Command;
    sink.postKey(56, true, EventFlags::Shift);
    sink.postKey(55, true, shiftCommand);
    sink.postKey(18, true, shiftCommand);
    sink.postKey(18, false, shiftCommand);
    sink.postKey(55, false, EventFlags::Shift);
    sink.postKey(56, false, 0);
}
