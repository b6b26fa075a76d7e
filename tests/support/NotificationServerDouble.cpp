#include "tests/support/NotificationServerDouble.h"

#include <QDBusMessage>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

NotificationServerDouble::NotificationServerDouble(const QDBusConnection& bus) : m_bus(bus)
{
    m_registered = m_bus.registerObject(Path, this, QDBusConnection::ExportAllSlots) && m_bus.registerService(Service);
}

NotificationServerDouble::~NotificationServerDouble()
{
    m_bus.unregisterService(Service);
    m_bus.unregisterObject(Path);
}

uint NotificationServerDouble::Notify(const QString& app_name, uint, const QString&, const QString& summary,
                                      const QString& body, const QStringList& actions, const QVariantMap& hints, int)
{
    if (!failNotifyWith.isEmpty()) {
        sendErrorReply(failNotifyWith, QStringLiteral("refused by the test"));
        return 0;
    }
    calls.append({m_nextId, app_name, summary, body, actions, hints});
    return m_nextId++;
}

QStringList NotificationServerDouble::GetCapabilities() { return capabilities; }

QString NotificationServerDouble::GetServerInformation(QString& vendor, QString& version, QString& spec_version)
{
    vendor = QStringLiteral("Velotap tests");
    version = QStringLiteral("1");
    spec_version = QStringLiteral("1.2");
    return QStringLiteral("notification-server-double");
}

void NotificationServerDouble::CloseNotification(uint id) { closeNotification(id, 3); }

void NotificationServerDouble::invokeAction(uint id, const QString& actionKey)
{
    emitSignal(QStringLiteral("ActionInvoked"), {id, actionKey});
}

void NotificationServerDouble::closeNotification(uint id, uint reason)
{
    emitSignal(QStringLiteral("NotificationClosed"), {id, reason});
}

void NotificationServerDouble::emitSignal(const QString& name, const QVariantList& arguments)
{
    QDBusMessage signal = QDBusMessage::createSignal(Path, Service, name);
    signal.setArguments(arguments);
    m_bus.send(signal);
}
