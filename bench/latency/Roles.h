#pragma once
#include <QByteArray>

// The two processes a run measures. Each reads the reports of a synthetic
// touch display with `slotCount` contact slots from fd, posts input to the X
// display, writes one byte to standard output once it is ready, and runs
// until it is ended.

// Velotap itself: the sysfs device source (on a made-up sysfs tree whose
// device node is fd), the touch bridge, the gesture engine and the XTest sink.
int runVelotapPipeline(int fd, const QByteArray& displayName, int slotCount);

// The floor: a blocking read, the contact's pixel taken from fixed offsets,
// and the same X event posted through XTest. Scrolling turns the wheel one
// step per frame that moved.
int runMinimalPoster(int fd, const QByteArray& displayName, int slotCount, bool scroll);
