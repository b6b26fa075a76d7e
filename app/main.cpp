#include "app/cli/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Velotap"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELOTAP_VERSION));
    return cli::run(QCoreApplication::arguments().mid(1));
}
