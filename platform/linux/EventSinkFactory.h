#pragma once
#include "base/Scheduler.h"
#include "base/VTError.h"
#include "gestures/EventSink.h"
#include "settings/SettingsStore.h"

#include <QRect>
#include <QString>

#include <memory>
#include <optional>

class DisplayServices;
class UserDefaults;

// Which way synthetic input reaches the desktop, from the "eventBackend"
// setting: "xtest", "uinput" or "auto" (also for an empty or unknown value).
// Auto takes uinput in a Wayland session when /dev/uinput is writable (XTest
// there would reach X clients only), and XTest when an X display is
// reachable.
namespace EventSinkFactory {

inline const QString SettingKey = SettingsKey::EventBackend;

enum class Backend { XTest, Uinput };

struct Environment {
    bool waylandSession = false;
    bool uinputWritable = false;
    bool xDisplayReachable = false;
};

// WAYLAND_DISPLAY is set or XDG_SESSION_TYPE is wayland.
bool isWaylandSession();

// A Wayland session, write access to uinputPath, and a connection to
// $DISPLAY that opens.
Environment detectEnvironment(const QString& uinputPath = QStringLiteral("/dev/uinput"));

// The backend for a setting value, or the error the bridge reports as the
// missing "Accessibility" permission.
struct Choice {
    std::optional<Backend> backend;
    std::optional<VTError> error;
};
Choice chooseBackend(const QString& setting, const Environment& environment);

struct Result {
    std::unique_ptr<EventSink> sink; // null on failure
    std::optional<Backend> backend;
    std::optional<VTError> error;
};

// Creates the sink. The uinput pointer spans the union of the displays'
// bounds; with XRandR displays it follows their changes.
Result create(const QString& setting, Scheduler& scheduler, const DisplayServices& displays,
              const QString& uinputPath = QStringLiteral("/dev/uinput"));
// The same with the setting read from the defaults.
Result create(const UserDefaults& defaults, Scheduler& scheduler, const DisplayServices& displays);

// The union of every active display's bounds.
QRect desktopBounds(const DisplayServices& displays);

} // namespace EventSinkFactory
