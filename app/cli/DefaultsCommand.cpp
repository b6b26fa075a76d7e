#include "app/cli/Commands.h"
#include "app/cli/Output.h"

namespace cli {

int defaults(const QStringList&)
{
    err() << "velotap defaults: not available in this build\n";
    return 2;
}

} // namespace cli
