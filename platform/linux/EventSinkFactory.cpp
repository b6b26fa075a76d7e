#include "platform/linux/EventSinkFactory.h"

#include "base/UserDefaults.h"
#include "platform/linux/UinputEventSink.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "platform/linux/XTestEventSink.h"
#include "touch/DisplayServices.h"

#include <QFile>
#include <QtGlobal>

#include <X11/Xlib.h>
#include <unistd.h>

namespace EventSinkFactory {

namespace {

constexpr qint64 kNoEventAccessCode = 1;

VTError noAccess(const QString& detail)
{
    return VTError::velotap(kNoEventAccessCode,
                            QStringLiteral("Velotap needs the Accessibility permission to post input events: %1")
                                .arg(detail));
}

} // namespace

bool isWaylandSession()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || qEnvironmentVariable("XDG_SESSION_TYPE").compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0;
}

Environment detectEnvironment(const QString& uinputPath)
{
    Environment environment;
    environment.waylandSession = isWaylandSession();
    environment.uinputWritable = ::access(QFile::encodeName(uinputPath).constData(), W_OK) == 0;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        if (Display* display = XOpenDisplay(nullptr)) {
            environment.xDisplayReachable = true;
            XCloseDisplay(display);
        }
    }
    return environment;
}

Choice chooseBackend(const QString& setting, const Environment& environment)
{
    const QString value = setting.trimmed().toLower();
    if (value == QLatin1String("xtest")) {
        if (environment.xDisplayReachable)
            return {Backend::XTest, std::nullopt};
        return {std::nullopt, noAccess(QStringLiteral("no X display is reachable for XTest"))};
    }
    if (value == QLatin1String("uinput")) {
        if (environment.uinputWritable)
            return {Backend::Uinput, std::nullopt};
        return {std::nullopt, noAccess(QStringLiteral("/dev/uinput is not writable"))};
    }
    if (environment.waylandSession && environment.uinputWritable)
        return {Backend::Uinput, std::nullopt};
    if (environment.xDisplayReachable)
        return {Backend::XTest, std::nullopt};
    if (environment.uinputWritable)
        return {Backend::Uinput, std::nullopt};
    return {std::nullopt,
            noAccess(QStringLiteral("no X display is reachable and /dev/uinput is not writable"))};
}

QRect desktopBounds(const DisplayServices& displays)
{
    QRect bounds;
    for (DisplayServices::DisplayID id : displays.activeDisplays())
        bounds = bounds.united(displays.displayBounds(id).toAlignedRect());
    if (bounds.isEmpty())
        bounds = displays.displayBounds(displays.mainDisplay()).toAlignedRect();
    return bounds;
}

Result create(const QString& setting, Scheduler& scheduler, const DisplayServices& displays,
              const QString& uinputPath)
{
    Result result;
    const Choice choice = chooseBackend(setting, detectEnvironment(uinputPath));
    if (!choice.backend) {
        result.error = choice.error;
        return result;
    }
    QString error;
    if (*choice.backend == Backend::XTest) {
        result.sink = XTestEventSink::open(scheduler, &error);
    } else if (auto uinput = UinputEventSink::open(uinputPath, desktopBounds(displays), scheduler, &error)) {
        if (const auto* xrandr = dynamic_cast<const XRandrDisplayServices*>(&displays)) {
            UinputEventSink* sink = uinput.get();
            QObject::connect(xrandr, &XRandrDisplayServices::displaysChanged, sink->connectionContext(),
                             [sink, xrandr] { sink->setDesktop(desktopBounds(*xrandr)); });
        }
        result.sink = std::move(uinput);
    }
    if (!result.sink) {
        result.error = noAccess(error);
        return result;
    }
    result.backend = choice.backend;
    return result;
}

Result create(const UserDefaults& defaults, Scheduler& scheduler, const DisplayServices& displays)
{
    return create(defaults.stringValue(SettingKey), scheduler, displays);
}

} // namespace EventSinkFactory
