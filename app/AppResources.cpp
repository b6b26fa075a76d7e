#include "app/AppResources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace AppResources {

QString dataDirectory()
{
    const QString configured = qEnvironmentVariable("VELOTAP_DATA_DIR");
    if (!configured.isEmpty())
        return configured;
    const QString installed =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral(VELOTAP_RELATIVE_DATA_DIR));
    if (QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return QStringLiteral(VELOTAP_SOURCE_RESOURCES_DIR);
}

QString path(const QString& relative)
{
    return QDir(dataDirectory()).absoluteFilePath(relative);
}

QUrl helpPage()
{
    return QUrl::fromLocalFile(path(QStringLiteral("help/index.html")));
}

QUrl termsPage()
{
    return QUrl::fromLocalFile(path(QStringLiteral("help/terms.html")));
}

} // namespace AppResources
