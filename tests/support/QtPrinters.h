#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

#include <ostream>

// Readable gtest failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* os) { *os << list.join(QStringLiteral(", ")).toStdString(); }
inline void PrintTo(const QMap<QString, QString>& map, std::ostream* os)
{
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        *os << (it == map.cbegin() ? "" : " ") << it.key().toStdString() << '=' << it.value().toStdString();
}
