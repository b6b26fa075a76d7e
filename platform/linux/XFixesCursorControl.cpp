#include "platform/linux/XFixesCursorControl.h"

#include "platform/linux/XErrors.h"

#include <QString>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

std::unique_ptr<XFixesCursorControl> XFixesCursorControl::open(QString* error, const char* displayName)
{
    Display* display = openXDisplay(displayName, error);
    if (!display)
        return nullptr;
    int eventBase = 0, errorBase = 0, major = 4, minor = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase) || !XFixesQueryVersion(display, &major, &minor)
        || major < 4) {
        XCloseDisplay(display);
        if (error)
            *error = QStringLiteral("The X display has no XFixes 4 to hide the pointer");
        return nullptr;
    }
    return std::unique_ptr<XFixesCursorControl>(new XFixesCursorControl(display));
}

XFixesCursorControl::~XFixesCursorControl()
{
    XCloseDisplay(m_display);
}

void XFixesCursorControl::hideCursor(DisplayServices::DisplayID)
{
    // One root window holds every monitor of the screen.
    XFixesHideCursor(m_display, DefaultRootWindow(m_display));
    XFlush(m_display);
    ++m_hides;
}

void XFixesCursorControl::showCursor(DisplayServices::DisplayID)
{
    if (m_hides == 0)
        return;
    XFixesShowCursor(m_display, DefaultRootWindow(m_display));
    XFlush(m_display);
    --m_hides;
}
