#pragma once
#include <QWidget>

class QIcon;
class QLabel;
class QMenu;

// The status menu in a small window, for desktops without a tray: the
// status line, then one button per menu command that follows its action,
// so titles, enabled states, submenus and shortcuts are always the menu's.
class StatusWindow final : public QWidget {
    Q_OBJECT
public:
    StatusWindow(QMenu* menu, const QIcon& icon, QWidget* parent = nullptr);

    // Shows the window in front of the others.
    void present();

private:
    QLabel* m_status = nullptr;
    bool m_placed = false;
};
