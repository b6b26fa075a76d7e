#include "app/cli/Commands.h"
#include "app/cli/Output.h"

namespace cli {

int describe(const QStringList&)
{
    err() << "velotap describe: not available in this build\n";
    return 2;
}

int decode(const QStringList&)
{
    err() << "velotap decode: not available in this build\n";
    return 2;
}

} // namespace cli
