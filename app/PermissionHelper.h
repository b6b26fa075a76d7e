#pragma once
#include <QStringList>

// Asks the system for the access touch needs ("Accessibility": posting
// input; "Input Monitoring": reading the touch display).
class PermissionHelper {
public:
    virtual ~PermissionHelper() = default;
    // Starts the request and returns at once; the user answers the system's
    // own prompt.
    virtual void requestAccess(const QStringList& missingPermissionNames) = 0;
};
