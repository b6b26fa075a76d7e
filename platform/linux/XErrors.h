#pragma once
#include <QString>

struct _XDisplay;

// Xlib's default error handler ends the process on any protocol error; the
// program's own X connections log the error instead and carry on. Safe to
// call more than once.
void installXErrorLogger();

// A connection of the program's own to displayName (nullptr: $DISPLAY), with
// the logger installed; null with *error set when the display cannot be
// reached.
_XDisplay* openXDisplay(const char* displayName, QString* error);
