#include "app/DesktopApplication.h"
#include "app/cli/CommandLine.h"

#include <QCoreApplication>

// No command (or only options) starts the desktop application; a command
// runs on the command line and needs no display.
int main(int argc, char** argv)
{
    if (isDesktopApplicationLaunch(argc, argv))
        return runDesktopApplication(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velotap"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELOTAP_VERSION));
    return cli::run(QCoreApplication::arguments().mid(1));
}
