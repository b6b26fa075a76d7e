#pragma once
#include <QString>

#include <functional>

class QIcon;
class QMenu;

// The desktop's status area (system tray). Some desktops have none, and one
// may appear or vanish while the program runs (a panel started after us).
class TrayHost {
public:
    virtual ~TrayHost() = default;
    virtual bool available() const = 0;
    // Called on the main thread whenever available() may have changed.
    virtual void setAvailabilityHandler(std::function<void()> handler) = 0;
    // Shows the icon with the menu; the menu stays owned by the caller.
    virtual void show(const QIcon& icon, const QString& toolTip, QMenu* menu) = 0;
    virtual void hide() = 0;
};
