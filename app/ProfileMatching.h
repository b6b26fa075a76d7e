#pragma once
#include <QString>
#include <QStringList>

// The profile for the application the user switched to: the first profile
// other than "Default", in the given order, whose trimmed name equals,
// contains or is contained in the trimmed application name, ignoring case;
// "Default" when none matches or the name is blank.
QString profileForApplicationName(const QStringList& profileNames, const QString& applicationName);
