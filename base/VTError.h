#pragma once
#include <QString>

// An error value: nothing in the program throws, failures are returned.
struct VTError {
    QString domain;
    qint64 code = 0;
    QString description;

    static VTError velotap(qint64 code, const QString& description)
    {
        return VTError{QStringLiteral("Velotap"), code, description};
    }
    bool operator==(const VTError&) const = default;
};
