#include "platform/linux/XRandrDisplayServices.h"

#include "platform/linux/XErrors.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>

std::unique_ptr<XRandrDisplayServices> XRandrDisplayServices::open(QString* error,
                                                                   const char* displayName)
{
    Display* display = openXDisplay(displayName, error);
    if (!display)
        return nullptr;
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase)
        || !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
        XCloseDisplay(display);
        if (error)
            *error = QStringLiteral("The X display has no RandR 1.5 monitors");
        return nullptr;
    }
    return std::unique_ptr<XRandrDisplayServices>(new XRandrDisplayServices(display, eventBase));
}

XRandrDisplayServices::XRandrDisplayServices(_XDisplay* display, int eventBase)
    : m_display(display)
    , m_eventBase(eventBase)
{
    XRRSelectInput(m_display, DefaultRootWindow(m_display),
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    // Monitor changes (xrandr --setmonitor) arrive only as a ConfigureNotify
    // of the root window.
    XSelectInput(m_display, DefaultRootWindow(m_display), StructureNotifyMask);
    XFlush(m_display);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

XRandrDisplayServices::~XRandrDisplayServices()
{
    delete m_notifier;
    XCloseDisplay(m_display);
}

XRandrDisplayServices::DisplayID XRandrDisplayServices::idForMonitorName(const QString& name)
{
    std::uint32_t hash = 2166136261u;
    for (char byte : name.toUtf8()) {
        hash ^= static_cast<std::uint8_t>(byte);
        hash *= 16777619u;
    }
    return hash == 0 ? 1 : hash;
}

std::vector<XRandrDisplayServices::Monitor> XRandrDisplayServices::monitors() const
{
    std::vector<Monitor> result;
    int count = 0;
    XRRMonitorInfo* infos = XRRGetMonitors(m_display, DefaultRootWindow(m_display), True, &count);
    for (int i = 0; infos && i < count; ++i) {
        const XRRMonitorInfo& info = infos[i];
        QString name;
        if (char* atomName = info.name != None ? XGetAtomName(m_display, info.name) : nullptr) {
            name = QString::fromUtf8(atomName);
            XFree(atomName);
        }
        if (name.isEmpty())
            name = QStringLiteral("monitor-%1").arg(i);
        DisplayID id = idForMonitorName(name);
        // Two names that hash alike still get distinct IDs, in server order.
        while (std::any_of(result.begin(), result.end(), [id](const Monitor& m) { return m.id == id; }))
            id = id == 0xffffffffu ? 1 : id + 1;
        result.push_back({id, name, QRect(info.x, info.y, info.width, info.height), info.primary != 0});
    }
    if (infos)
        XRRFreeMonitors(infos);
    if (result.empty()) {
        // No monitor described: the whole screen is one display.
        const int screen = DefaultScreen(m_display);
        const QString name = QStringLiteral("screen");
        result.push_back({idForMonitorName(name), name,
                          QRect(0, 0, DisplayWidth(m_display, screen), DisplayHeight(m_display, screen)),
                          true});
    }
    drainLater();
    return result;
}

std::vector<XRandrDisplayServices::DisplayID> XRandrDisplayServices::activeDisplays() const
{
    std::vector<DisplayID> ids;
    for (const Monitor& monitor : monitors())
        ids.push_back(monitor.id);
    return ids;
}

XRandrDisplayServices::DisplayID XRandrDisplayServices::mainDisplay() const
{
    const std::vector<Monitor> all = monitors();
    for (const Monitor& monitor : all) {
        if (monitor.primary)
            return monitor.id;
    }
    // Without a primary, the monitor at the root origin, else the first.
    for (const Monitor& monitor : all) {
        if (monitor.bounds.contains(0, 0))
            return monitor.id;
    }
    return all.front().id;
}

QRectF XRandrDisplayServices::displayBounds(DisplayID id) const
{
    for (const Monitor& monitor : monitors()) {
        if (monitor.id == id)
            return QRectF(monitor.bounds);
    }
    return {};
}

QSize XRandrDisplayServices::displayPixelSize(DisplayID id) const
{
    return displayBounds(id).size().toSize();
}

QString XRandrDisplayServices::monitorName(DisplayID id) const
{
    for (const Monitor& monitor : monitors()) {
        if (monitor.id == id)
            return monitor.name;
    }
    return {};
}

void XRandrDisplayServices::drainLater() const
{
    auto* self = const_cast<XRandrDisplayServices*>(this);
    readQueuedXEventsLater(m_display, self, m_drainQueued, [self] { self->readEvents(); });
}

void XRandrDisplayServices::readEvents()
{
    bool changed = false;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == m_eventBase + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&event);
            changed = true;
        } else if (event.type == m_eventBase + RRNotify) {
            changed = true;
        } else if (event.type == ConfigureNotify
                   && event.xconfigure.window == DefaultRootWindow(m_display)) {
            changed = true;
        }
    }
    if (changed)
        emit displaysChanged();
}
