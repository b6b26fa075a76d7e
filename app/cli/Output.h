#pragma once
#include <QTextStream>

namespace cli {

// Standard output and error as UTF-8 text streams, flushed on every newline
// that std::endl or Qt::endl writes and at exit.
QTextStream& out();
QTextStream& err();

} // namespace cli
