#include "platform/linux/X11ActiveApplicationSource.h"

#include "platform/linux/XErrors.h"

#include <QSocketNotifier>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <unistd.h>

namespace {

// One property value of a window; empty when absent or of another type.
QByteArray windowProperty(Display* display, Window window, Atom property, Atom type, int format)
{
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    // Names and ids are short; 4 KiB (in 32-bit units) is plenty.
    if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &actualFormat, &count,
                           &remaining, &data) != Success
        || !data)
        return {};
    QByteArray value;
    if (actualType == type && actualFormat == format)
        value = QByteArray(reinterpret_cast<const char*>(data), int(count * std::size_t(format == 32 ? sizeof(long) : format / 8)));
    XFree(data);
    return value;
}

unsigned long firstLong(const QByteArray& bytes)
{
    unsigned long value = 0;
    if (bytes.size() >= int(sizeof value))
        std::memcpy(&value, bytes.constData(), sizeof value);
    return value;
}

} // namespace

std::unique_ptr<X11ActiveApplicationSource> X11ActiveApplicationSource::open(const QString& ownIdentifier,
                                                                             DesktopEntries entries, QString* error,
                                                                             const char* displayName)
{
    Display* display = openXDisplay(displayName, error);
    if (!display)
        return nullptr;
    return std::unique_ptr<X11ActiveApplicationSource>(
        new X11ActiveApplicationSource(display, ownIdentifier, std::move(entries)));
}

X11ActiveApplicationSource::X11ActiveApplicationSource(_XDisplay* display, QString ownIdentifier, DesktopEntries entries)
    : m_display(display), m_ownIdentifier(std::move(ownIdentifier)), m_entries(std::move(entries))
{
    m_activeAtom = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(m_display, DefaultRootWindow(m_display), PropertyChangeMask);
    XFlush(m_display);
    m_lastWindow = activeWindow();
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

X11ActiveApplicationSource::~X11ActiveApplicationSource()
{
    delete m_notifier;
    XCloseDisplay(m_display);
}

void X11ActiveApplicationSource::setHandler(std::function<void(const ActiveApplication&)> handler)
{
    m_handler = std::move(handler);
}

unsigned long X11ActiveApplicationSource::activeWindow() const
{
    return firstLong(windowProperty(m_display, DefaultRootWindow(m_display), m_activeAtom, XA_WINDOW, 32));
}

ActiveApplication X11ActiveApplicationSource::current() const
{
    const unsigned long window = activeWindow();
    ActiveApplication application = window ? describe(window) : ActiveApplication{};
    drainLater();
    return application;
}

ActiveApplication X11ActiveApplicationSource::describe(unsigned long window) const
{
    const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    if (firstLong(windowProperty(m_display, window, pidAtom, XA_CARDINAL, 32)) == unsigned(::getpid()))
        return {QStringLiteral("Velotap"), m_ownIdentifier};

    QString wmClass, wmInstance;
    XClassHint hint{};
    if (XGetClassHint(m_display, window, &hint)) {
        wmInstance = QString::fromLocal8Bit(hint.res_name);
        wmClass = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    const Atom gtkIdAtom = XInternAtom(m_display, "_GTK_APPLICATION_ID", False);
    const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
    const QString applicationId = QString::fromUtf8(windowProperty(m_display, window, gtkIdAtom, utf8, 8));
    if (std::optional<DesktopEntry> entry = m_entries.find(wmClass, wmInstance, applicationId))
        return {entry->name, entry->id};
    const QString name = wmClass.isEmpty() ? wmInstance : wmClass;
    return {name, applicationId.isEmpty() ? name : applicationId};
}

void X11ActiveApplicationSource::drainLater() const
{
    auto* self = const_cast<X11ActiveApplicationSource*>(this);
    readQueuedXEventsLater(m_display, self, m_drainQueued, [self] { self->readEvents(); });
}

void X11ActiveApplicationSource::readEvents()
{
    bool activeChanged = false;
    while (XPending(m_display)) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == m_activeAtom)
            activeChanged = true;
    }
    if (!activeChanged)
        return;
    const unsigned long window = activeWindow();
    if (window == 0 || window == m_lastWindow) {
        drainLater();
        return;
    }
    m_lastWindow = window;
    const ActiveApplication application = describe(window);
    if (m_handler)
        m_handler(application);
    drainLater();
}
