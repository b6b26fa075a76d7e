#pragma once
#include <QString>
#include <QTextStream>

namespace cli {

// Standard output and error as UTF-8 text streams, flushed on every newline
// that std::endl or Qt::endl writes and at exit.
QTextStream& out();
QTextStream& err();

// Text that came from a device or a file, safe to print: control
// characters, which could move the cursor or reprogram the terminal, are
// shown as \xNN (\uNNNN beyond one byte) instead.
QString printable(const QString& text);

} // namespace cli
