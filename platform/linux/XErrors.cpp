#include "platform/linux/XErrors.h"

#include <QObject>
#include <QtGlobal>

#include <X11/Xlib.h>

namespace {

int logXError(Display* display, XErrorEvent* event)
{
    char text[256] = {};
    XGetErrorText(display, event->error_code, text, sizeof text);
    qWarning("Velotap X error: %s (request %d.%d)", text, int(event->request_code), int(event->minor_code));
    return 0;
}

} // namespace

void installXErrorLogger()
{
    static const bool installed = [] {
        XSetErrorHandler(logXError);
        return true;
    }();
    (void)installed;
}

_XDisplay* openXDisplay(const char* displayName, QString* error)
{
    installXErrorLogger();
    Display* display = XOpenDisplay(displayName);
    if (!display && error)
        *error = QStringLiteral("Cannot connect to the X display");
    return display;
}

void readQueuedXEventsLater(Display* display, QObject* context, bool& queued, std::function<void()> read)
{
    if (queued || XQLength(display) == 0)
        return;
    queued = true;
    QMetaObject::invokeMethod(
        context,
        [&queued, read = std::move(read)] {
            queued = false;
            read();
        },
        Qt::QueuedConnection);
}
