#pragma once
#include <QString>
#include <QStringList>

#include <cstdint>

class EventSink;

// What a desktop system action (the overview, the screenshot tool) does, as
// stored in its setting ("missionControlAction", "screenshotAction"):
//   "key:Super", "key:Print" or "key:<decimal virtual key code>"  press and release a key
//   "run:<program> <arguments...>"  start a program; arguments are split the
//                                   way a shell would quote them, but no shell runs
//   "none"                          nothing
// An empty value means the default; a value that does not parse does nothing.
struct SystemAction {
    enum class Kind { None, Key, Run };
    Kind kind = Kind::None;
    std::uint16_t keyCode = 0;
    QString program;
    QStringList arguments;

    static SystemAction parse(const QString& text);
    // A setting's value, or the fallback when the setting is blank.
    static SystemAction fromSetting(const QString& value, const QString& fallback);
    // Posts or launches through the sink; returns false when there was
    // nothing to do.
    bool perform(EventSink& sink) const;
};

// What the major desktops bind: Super opens the overview, Print the
// screenshot tool.
namespace SystemActionDefault {
inline const QString MissionControl = QStringLiteral("key:Super");
inline const QString Screenshot = QStringLiteral("key:Print");
} // namespace SystemActionDefault
