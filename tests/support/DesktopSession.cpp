#include "tests/support/DesktopSession.h"

#include "tests/support/ChildProcess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace {

DesktopSession* g_current = nullptr;

} // namespace

DesktopSession::DesktopSession() : m_server(kWidth, kHeight)
{
    if (!m_server.isRunning()) {
        m_error = QStringLiteral("no Xvfb: ") + m_server.error();
        return;
    }
    m_windowManager = std::make_unique<ChildProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_server.displayName()));
    m_windowManager->setProcessEnvironment(environment);
    m_windowManager->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_windowManager->setStandardOutputFile(QProcess::nullDevice());
    m_windowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager->waitForStarted(5000)) {
        m_error = QStringLiteral("openbox did not start");
        return;
    }
    if (!waitForWindowManager(10000)) {
        m_error = QStringLiteral("openbox did not take over the display");
        return;
    }
    g_current = this;
}

DesktopSession::~DesktopSession()
{
    if (g_current == this)
        g_current = nullptr;
}

DesktopSession* DesktopSession::current()
{
    return g_current;
}

namespace {

// Whether a window mapped now shows up within the time: an announced
// window manager may still be starting and drop map requests meanwhile.
bool probeWindowMaps(Display* display, int timeoutMs)
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = StructureNotifyMask;
    const Window probe = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, CopyFromParent,
                                       InputOutput, CopyFromParent, CWEventMask, &attributes);
    XMapWindow(display, probe);
    XFlush(display);
    QElapsedTimer clock;
    clock.start();
    bool mapped = false;
    while (!mapped && clock.elapsed() < timeoutMs) {
        XEvent event;
        if (XCheckTypedWindowEvent(display, probe, MapNotify, &event))
            mapped = true;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    XDestroyWindow(display, probe);
    XSync(display, False);
    return mapped;
}

} // namespace

bool DesktopSession::waitForWindowManager(int timeoutMs)
{
    // An EWMH window manager announces itself on the root window, then it
    // has to be seen mapping a window.
    Display* display = XOpenDisplay(m_server.displayName().constData());
    if (!display)
        return false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    QElapsedTimer clock;
    clock.start();
    bool announced = false;
    while (!announced && clock.elapsed() < timeoutMs) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data)
                == Success
            && count == 1)
            announced = true;
        if (data)
            XFree(data);
        if (!announced)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool working = false;
    while (announced && !working && clock.elapsed() < timeoutMs)
        working = probeWindowMaps(display, 500);
    XCloseDisplay(display);
    return working;
}
