#include "app/cli/Commands.h"
#include "app/cli/Output.h"

namespace cli {

int devices(const QStringList&)
{
    err() << "velotap devices: not available in this build\n";
    return 2;
}

int record(const QStringList&)
{
    err() << "velotap record: not available in this build\n";
    return 2;
}

int replay(const QStringList&)
{
    err() << "velotap replay: not available in this build\n";
    return 2;
}

} // namespace cli
