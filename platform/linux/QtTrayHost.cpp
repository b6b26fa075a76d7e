#include "platform/linux/QtTrayHost.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

const QString kWatcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kTrayPollMilliseconds = 3000;

} // namespace

QtTrayHost::QtTrayHost(QDBusConnection bus, QObject* parent)
    : QObject(parent)
{
    if (bus.isConnected()) {
        m_watcherPresent = bus.interface()->isServiceRegistered(kWatcherName);
        auto* watcher = new QDBusServiceWatcher(kWatcherName, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& newOwner) {
                    m_watcherPresent = !newOwner.isEmpty();
                    recheck();
                });
    }
    m_lastAvailable = available();
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [this] { recheck(); });
    poll->start(kTrayPollMilliseconds);
}

QtTrayHost::~QtTrayHost() = default;

bool QtTrayHost::available() const
{
    if (m_watcherPresent)
        return true;
    // Asking Qt before a watcher exists would make it settle on the X11 tray
    // for good, so elsewhere (Wayland, offscreen) only the watcher counts.
    return QGuiApplication::platformName() == QLatin1String("xcb") && QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayHost::setAvailabilityHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
}

void QtTrayHost::recheck()
{
    const bool now = available();
    if (now == m_lastAvailable)
        return;
    m_lastAvailable = now;
    if (m_handler)
        m_handler();
}

void QtTrayHost::show(const QIcon& icon, const QString& toolTip, QMenu* menu)
{
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(this);
        m_icon->setObjectName(QStringLiteral("trayIcon"));
        // A plain click opens the menu too: some trays only report clicks.
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_icon->contextMenu())
                m_icon->contextMenu()->popup(QCursor::pos());
        });
    }
    m_icon->setIcon(icon);
    m_icon->setToolTip(toolTip);
    m_icon->setContextMenu(menu);
    m_icon->show();
}

void QtTrayHost::hide()
{
    if (m_icon)
        m_icon->hide();
}
