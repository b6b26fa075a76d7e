#include "gestures/TraceEventSink.h"

#include "base/Scheduler.h"

namespace {

QString pointText(QPointF p)
{
    return QString::asprintf("%.2f,%.2f", p.x(), p.y());
}

QString flagsText(std::uint64_t flags)
{
    return QString::asprintf("flags=0x%llx", static_cast<unsigned long long>(flags));
}

// Keeps every line on one line and readable: quotes, backslashes and
// anything outside printable ASCII are escaped.
QString quoted(QStringView text)
{
    QString result = QStringLiteral("\"");
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\') {
            result += QLatin1Char('\\');
            result += c;
        } else if (u < 0x20 || u >= 0x7f) {
            result += QString::asprintf("\\u%04x", unsigned(u));
        } else {
            result += c;
        }
    }
    result += QLatin1Char('"');
    return result;
}

} // namespace

TraceEventSink::TraceEventSink(const Scheduler& scheduler) : TraceEventSink(scheduler, scheduler.now()) {}

TraceEventSink::TraceEventSink(const Scheduler& scheduler, double origin) : m_scheduler(scheduler), m_origin(origin) {}

QStringList TraceEventSink::takeLines()
{
    QStringList lines;
    lines.swap(m_lines);
    return lines;
}

void TraceEventSink::write(const QString& event)
{
    double elapsed = m_scheduler.now() - m_origin;
    if (elapsed > -0.0005 && elapsed < 0.0005)
        elapsed = 0.0; // never print "-0.000"
    const QString line = QString::asprintf("%.3f ", elapsed) + event;
    if (m_keepLines)
        m_lines << line;
    if (m_handler)
        m_handler(line);
}

QString TraceEventSink::mouseEventName(MouseEventType type)
{
    switch (type) {
    case MouseEventType::LeftDown: return QStringLiteral("left-down");
    case MouseEventType::LeftUp: return QStringLiteral("left-up");
    case MouseEventType::RightDown: return QStringLiteral("right-down");
    case MouseEventType::RightUp: return QStringLiteral("right-up");
    case MouseEventType::Moved: return QStringLiteral("moved");
    case MouseEventType::LeftDragged: return QStringLiteral("left-dragged");
    case MouseEventType::RightDragged: return QStringLiteral("right-dragged");
    case MouseEventType::OtherDown: return QStringLiteral("other-down");
    case MouseEventType::OtherUp: return QStringLiteral("other-up");
    case MouseEventType::OtherDragged: return QStringLiteral("other-dragged");
    }
    return QStringLiteral("type-%1").arg(static_cast<int>(type));
}

void TraceEventSink::postMouseEvent(MouseEventType type, MouseButton button, QPointF point, std::uint64_t flags,
                                    std::int64_t clickState)
{
    QString event = QStringLiteral("mouse %1 button=%2 at=%3 %4")
                        .arg(mouseEventName(type))
                        .arg(static_cast<int>(button))
                        .arg(pointText(point), flagsText(flags));
    // Only left-button events carry a click state.
    if (button == MouseButton::Left)
        event += QStringLiteral(" click=%1").arg(clickState);
    write(event);
}

void TraceEventSink::postScrollWheel(std::int32_t wheel1, std::int32_t wheel2, std::uint64_t flags)
{
    write(QStringLiteral("scroll wheel1=%1 wheel2=%2 %3").arg(wheel1).arg(wheel2).arg(flagsText(flags)));
}

void TraceEventSink::postMagnify(double magnification, int phase, QPointF point)
{
    write(QString::asprintf("magnify %.4f phase=%d at=", magnification == 0.0 ? 0.0 : magnification, phase)
          + pointText(point));
}

void TraceEventSink::postKey(std::uint16_t keyCode, bool down, std::uint64_t flags)
{
    write(QStringLiteral("key %1 %2 %3").arg(keyCode).arg(down ? QStringLiteral("down") : QStringLiteral("up"),
                                                          flagsText(flags)));
}

void TraceEventSink::postUnicodeText(const char16_t* units, int length, std::uint64_t flags)
{
    const QStringView text(units, units ? std::max(0, length) : 0);
    write(QStringLiteral("text %1 %2").arg(quoted(text), flagsText(flags)));
}

void TraceEventSink::postMediaKey(int keyType, bool down)
{
    write(QStringLiteral("media %1 %2").arg(keyType).arg(down ? QStringLiteral("down") : QStringLiteral("up")));
}

void TraceEventSink::warpCursor(QPointF point)
{
    write(QStringLiteral("warp ") + pointText(point));
}

void TraceEventSink::launchProgram(const QString& program, const QStringList& arguments)
{
    QString event = QStringLiteral("launch ") + quoted(program);
    for (const QString& argument : arguments)
        event += QLatin1Char(' ') + quoted(argument);
    write(event);
}
