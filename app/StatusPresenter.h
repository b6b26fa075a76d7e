#pragma once
#include <QIcon>
#include <QString>

#include <memory>

class QMenu;
class StatusWindow;
class TrayHost;

// Shows the status menu in the tray when the desktop has one, and in the
// "Velotap" window otherwise; a tray that appears later takes over, and the
// window comes back when it goes.
class StatusPresenter {
public:
    StatusPresenter(TrayHost& tray, QMenu* menu, const QIcon& icon, const QString& toolTip);
    ~StatusPresenter();
    StatusPresenter(const StatusPresenter&) = delete;
    StatusPresenter& operator=(const StatusPresenter&) = delete;

    // Brings the window forward (a second launch): with a tray too, since the
    // user asked to see the program.
    void activate();
    bool inTray() const { return m_inTray; }
    StatusWindow& window() { return *m_window; }

private:
    void place();

    TrayHost& m_tray;
    QMenu* m_menu;
    QIcon m_icon;
    QString m_toolTip;
    std::unique_ptr<StatusWindow> m_window;
    bool m_inTray = false;
    bool m_placed = false;
};
