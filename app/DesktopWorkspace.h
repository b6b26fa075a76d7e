#pragma once
#include "base/Workspace.h"

// The user's default browser and file handlers.
class DesktopWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl& url) override;
};
