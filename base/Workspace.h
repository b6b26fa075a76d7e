#pragma once
#include <QString>
#include <QUrl>

// The desktop around the program: the default browser and other programs.
class Workspace {
public:
    virtual ~Workspace() = default;
    // False when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
};
