#pragma once
#include <QStringList>

namespace cli {

// Dispatches argv (without the program name); prints usage for no or unknown commands.
int run(const QStringList& arguments);
QString usage();

} // namespace cli
