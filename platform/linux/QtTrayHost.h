#pragma once
#include "app/TrayHost.h"

#include <QDBusConnection>
#include <QObject>

class QSystemTrayIcon;

// The tray through Qt: a StatusNotifierItem where the desktop runs a
// watcher for them, else the X11 system tray. Either may come later than
// the program (an autostarted program races the panel) or go away; the
// watcher's name is followed on the session bus and the X11 tray is looked
// for every few seconds.
class QtTrayHost final : public QObject, public TrayHost {
    Q_OBJECT
public:
    explicit QtTrayHost(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);
    ~QtTrayHost() override;

    bool available() const override;
    void setAvailabilityHandler(std::function<void()> handler) override;
    void show(const QIcon& icon, const QString& toolTip, QMenu* menu) override;
    void hide() override;

    QSystemTrayIcon* icon() const { return m_icon; }

private:
    void recheck();

    QSystemTrayIcon* m_icon = nullptr;
    std::function<void()> m_handler;
    bool m_watcherPresent = false;
    bool m_lastAvailable = false;
};
