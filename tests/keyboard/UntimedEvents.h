#pragma once
#include "gestures/TraceEventSink.h"

// What the sink wrote since the last call, one event a line, without times.
inline QString untimedEvents(TraceEventSink& sink)
{
    QStringList lines;
    for (const QString& line : sink.takeLines())
        lines << line.section(' ', 1);
    return lines.join('\n');
}
