#pragma once
#include "base/VTError.h"

class EventSink;

// Makes the sink that posts synthetic input to the desktop. It exists only
// while touch runs: letting it go removes any virtual input device.
class EventSinkProvider {
public:
    virtual ~EventSinkProvider() = default;
    // Whether input could be posted now (without making the sink).
    virtual bool canPost() const = 0;
    // The sink, made on first call; null with *error set when input cannot reach the desktop.
    virtual EventSink* acquire(VTError* error) = 0;
    virtual void release() = 0;
};
