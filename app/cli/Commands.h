#pragma once
#include <QStringList>

// The velotap command line. Each command gets its arguments after the
// command name and returns the process exit status: 0 success, 1 a result
// the user should know about (an invalid layout), 2 unusable input.
namespace cli {

int describe(const QStringList& args);
int decode(const QStringList& args);
int defaults(const QStringList& args);
int devices(const QStringList& args);
int record(const QStringList& args);
int replay(const QStringList& args);
int installUdevRule(const QStringList& args);

} // namespace cli
