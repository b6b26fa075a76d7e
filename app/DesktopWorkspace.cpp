#include "app/DesktopWorkspace.h"

#include <QDesktopServices>
#include <QLoggingCategory>

bool DesktopWorkspace::openUrl(const QUrl& url)
{
    if (QDesktopServices::openUrl(url))
        return true;
    qWarning().noquote() << "Velotap could not open" << url.toDisplayString();
    return false;
}
