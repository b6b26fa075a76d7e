#include "tests/support/DesktopSession.h"

#include <QElapsedTimer>
#include <QProcess>
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
    m_windowManager = std::make_unique<QProcess>();
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
    if (m_windowManager && m_windowManager->state() != QProcess::NotRunning) {
        m_windowManager->terminate();
        if (!m_windowManager->waitForFinished(3000)) {
            m_windowManager->kill();
            m_windowManager->waitForFinished(3000);
        }
    }
}

DesktopSession* DesktopSession::current()
{
    return g_current;
}

bool DesktopSession::waitForWindowManager(int timeoutMs)
{
    // An EWMH window manager announces itself on the root window.
    Display* display = XOpenDisplay(m_server.displayName().constData());
    if (!display)
        return false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    QElapsedTimer clock;
    clock.start();
    bool found = false;
    while (!found && clock.elapsed() < timeoutMs) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data)
                == Success
            && count == 1)
            found = true;
        if (data)
            XFree(data);
        if (!found)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(display);
    return found;
}
