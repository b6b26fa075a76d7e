#pragma once

// Xlib's default error handler ends the process on any protocol error; the
// program's own X connections log the error instead and carry on. Safe to
// call more than once.
void installXErrorLogger();
