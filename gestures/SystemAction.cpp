#include "gestures/SystemAction.h"

#include "gestures/EventSink.h"
#include "gestures/VirtualKeyCodes.h"

#include <QProcess>

SystemAction SystemAction::parse(const QString& text)
{
    SystemAction action;
    const QString value = text.trimmed();
    if (value.startsWith(QLatin1String("key:"), Qt::CaseInsensitive)) {
        const QString name = value.mid(4).trimmed();
        if (name.compare(QLatin1String("Super"), Qt::CaseInsensitive) == 0) {
            action.keyCode = VirtualKey::Super;
        } else if (name.compare(QLatin1String("Print"), Qt::CaseInsensitive) == 0) {
            action.keyCode = VirtualKey::Print;
        } else {
            bool ok = false;
            const uint code = name.toUInt(&ok, 10);
            if (!ok || code > 0xffff)
                return action;
            action.keyCode = static_cast<std::uint16_t>(code);
        }
        action.kind = Kind::Key;
        return action;
    }
    if (value.startsWith(QLatin1String("run:"), Qt::CaseInsensitive)) {
        QStringList words = QProcess::splitCommand(value.mid(4));
        if (words.isEmpty())
            return action;
        action.kind = Kind::Run;
        action.program = words.takeFirst();
        action.arguments = words;
    }
    return action;
}

SystemAction SystemAction::fromSetting(const QString& value, const QString& fallback)
{
    return parse(value.trimmed().isEmpty() ? fallback : value);
}

bool SystemAction::perform(EventSink& sink) const
{
    switch (kind) {
    case Kind::Key:
        sink.postKey(keyCode, true, 0);
        sink.postKey(keyCode, false, 0);
        return true;
    case Kind::Run:
        sink.launchProgram(program, arguments);
        return true;
    case Kind::None:
        break;
    }
    return false;
}
