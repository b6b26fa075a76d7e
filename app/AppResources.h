#pragma once
#include <QString>
#include <QUrl>

// The program's data files (status icon, help and terms pages, policy
// document, udev rule): under $VELOTAP_DATA_DIR when set, else the installed
// share/velotap beside the executable's bin, else the source tree's
// resources when running from a build.
namespace AppResources {

QString dataDirectory();
// The file's path inside the data directory (it may not exist).
QString path(const QString& relative);
QUrl helpPage();
QUrl termsPage();

} // namespace AppResources
