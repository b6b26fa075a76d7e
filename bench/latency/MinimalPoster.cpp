#include "bench/latency/Roles.h"
#include "tests/support/SyntheticTouchDisplay.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <unistd.h>

int runMinimalPoster(int fd, const QByteArray& displayName, int slotCount, bool scroll)
{
    Display* display = XOpenDisplay(displayName.constData());
    if (!display) {
        std::fprintf(stderr, "cannot open X display %s\n", displayName.constData());
        return 1;
    }
    const SyntheticTouchDisplay layout(slotCount);
    const int countOffset = layout.contactCountOffset();
    unsigned char report[256];
    int frameContacts = 0; // announced by the frame's first report
    int seen = 0;
    QPoint first;
    int ySum = 0;
    int lastCentreY = -1;
    const char ready = 1;
    if (::write(STDOUT_FILENO, &ready, 1) != 1)
        return 1;
    for (;;) {
        const ssize_t n = ::read(fd, report, sizeof report);
        if (n <= countOffset)
            break;
        if (report[countOffset] != 0) {
            frameContacts = report[countOffset];
            seen = 0;
            ySum = 0;
        }
        for (int s = 0; s < slotCount; ++s) {
            QPoint p;
            if (!SyntheticTouchDisplay::slotPixel(report, s, &p))
                continue;
            if (seen++ == 0)
                first = p;
            ySum += p.y();
        }
        if (frameContacts == 0) {
            lastCentreY = -1;
            continue;
        }
        if (seen < frameContacts)
            continue; // the rest of the frame is in the next report
        if (!scroll) {
            XTestFakeMotionEvent(display, -1, first.x(), first.y(), CurrentTime);
        } else {
            const int centreY = ySum / seen;
            if (lastCentreY >= 0 && centreY != lastCentreY) {
                const unsigned button = centreY > lastCentreY ? 4 : 5;
                XTestFakeButtonEvent(display, button, True, CurrentTime);
                XTestFakeButtonEvent(display, button, False, CurrentTime);
            }
            lastCentreY = centreY;
        }
        XFlush(display);
        frameContacts = 0;
    }
    XCloseDisplay(display);
    return 0;
}
