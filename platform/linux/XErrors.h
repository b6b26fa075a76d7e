#pragma once
#include <QString>

#include <functional>

class QObject;

struct _XDisplay;

// Xlib's default error handler ends the process on any protocol error; the
// program's own X connections log the error instead and carry on. Safe to
// call more than once.
void installXErrorLogger();

// A connection of the program's own to displayName (nullptr: $DISPLAY), with
// the logger installed; null with *error set when the display cannot be
// reached.
_XDisplay* openXDisplay(const char* displayName, QString* error);

// A round trip can pull events into Xlib's queue without waking the socket
// notifier. When it did, `read` runs from context's event loop, once for
// however many calls come before it (`queued` marks that it is pending).
void readQueuedXEventsLater(_XDisplay* display, QObject* context, bool& queued, std::function<void()> read);
