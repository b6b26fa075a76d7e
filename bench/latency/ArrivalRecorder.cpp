#include "bench/latency/ArrivalRecorder.h"

#include <X11/Xlib.h>

#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

std::int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::unique_ptr<ArrivalRecorder> ArrivalRecorder::open(const QByteArray& displayName, QString* error)
{
    std::unique_ptr<ArrivalRecorder> recorder(new ArrivalRecorder);
    Display* display = XOpenDisplay(displayName.constData());
    if (!display || pipe2(recorder->m_stopPipe, O_CLOEXEC) != 0) {
        *error = QStringLiteral("cannot open X display %1").arg(QString::fromLatin1(displayName));
        if (display)
            XCloseDisplay(display);
        return nullptr;
    }
    recorder->m_display = display;
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = PointerMotionMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    const Window window = XCreateWindow(display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
                                        unsigned(DisplayHeight(display, screen)), 0, CopyFromParent, InputOutput,
                                        CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display, window);
    XEvent event;
    do
        XNextEvent(display, &event);
    while (event.type != MapNotify);
    recorder->m_thread = std::thread([r = recorder.get()] { r->run(); });
    return recorder;
}

ArrivalRecorder::~ArrivalRecorder()
{
    if (m_thread.joinable()) {
        const char stop = 0;
        (void)::write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : m_stopPipe)
        if (fd >= 0)
            ::close(fd);
    if (m_display)
        XCloseDisplay(m_display);
}

std::vector<Arrival> ArrivalRecorder::take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_arrivals, {});
}

void ArrivalRecorder::run()
{
    pollfd fds[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    for (;;) {
        // Events Xlib already read are handled before sleeping again.
        if (XPending(m_display) == 0 && poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        // Everything read in one go arrived at the same moment.
        const std::int64_t now = monotonicNs();
        XEventsQueued(m_display, QueuedAfterReading);
        std::lock_guard lock(m_mutex);
        while (XEventsQueued(m_display, QueuedAlready) > 0) {
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type == MotionNotify)
                m_arrivals.push_back({Arrival::Motion, event.xmotion.x_root, event.xmotion.y_root, 0, now});
            else if (event.type == ButtonPress)
                m_arrivals.push_back({Arrival::Button, event.xbutton.x_root, event.xbutton.y_root,
                                      event.xbutton.button, now});
        }
    }
}
