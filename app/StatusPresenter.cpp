#include "app/StatusPresenter.h"

#include "app/StatusWindow.h"
#include "app/TrayHost.h"

#include <QMenu>

StatusPresenter::StatusPresenter(TrayHost& tray, QMenu* menu, const QIcon& icon, const QString& toolTip)
    : m_tray(tray), m_menu(menu), m_icon(icon), m_toolTip(toolTip),
      m_window(std::make_unique<StatusWindow>(menu, icon))
{
    m_tray.setAvailabilityHandler([this] { place(); });
    place();
}

StatusPresenter::~StatusPresenter()
{
    m_tray.setAvailabilityHandler({});
    m_tray.hide();
}

void StatusPresenter::place()
{
    const bool available = m_tray.available();
    if (m_placed && available == m_inTray)
        return;
    m_placed = true;
    m_inTray = available;
    if (m_inTray) {
        m_tray.show(m_icon, m_toolTip, m_menu);
        m_window->hide();
    } else {
        m_tray.hide();
        m_window->present();
    }
}

void StatusPresenter::activate()
{
    m_window->present();
}
