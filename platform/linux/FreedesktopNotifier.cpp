#include "platform/linux/FreedesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString DefaultAction = QStringLiteral("default");

VTError errorFrom(const QDBusError& error) { return VTError{error.name(), 0, error.message()}; }

} // namespace

FreedesktopNotifier::FreedesktopNotifier(const QDBusConnection& bus, const QString& applicationName,
                                         const QString& desktopEntry)
    : m_bus(bus), m_applicationName(applicationName), m_desktopEntry(desktopEntry)
{
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

FreedesktopNotifier::~FreedesktopNotifier()
{
    m_bus.disconnect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
    m_bus.disconnect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                     SLOT(onNotificationClosed(uint, uint)));
}

void FreedesktopNotifier::requestAuthorization(AuthorizationHandler done)
{
    if (!m_bus.isConnected()) {
        const VTError error{QStringLiteral("org.freedesktop.DBus.Error.NoServer"), 0,
                            QStringLiteral("no D-Bus session bus")};
        QTimer::singleShot(0, this, [done = std::move(done), error] { done(Authorization::NotDetermined, error); });
        return;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QStringList> reply = *w;
                if (reply.isError()) {
                    done(Authorization::NotDetermined, errorFrom(reply.error()));
                    return;
                }
                m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
                done(Authorization::Authorized, std::nullopt);
            });
}

void FreedesktopNotifier::deliver(const Content& content, DeliveryHandler delivered, std::function<void()> activated)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    const QStringList actions =
        content.actionLabel.isEmpty() ? QStringList() : QStringList{DefaultAction, content.actionLabel};
    const QVariantMap hints{{QStringLiteral("desktop-entry"), m_desktopEntry}};
    // A server that reads markup in the body would otherwise render the
    // service's text as markup, links included.
    const QString body = m_bodyMarkup ? content.body.toHtmlEscaped() : content.body;
    call << m_applicationName << uint(0) << QString() << content.title << body << actions << hints << int(-1);

    const bool clickable = !actions.isEmpty();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, clickable, delivered = std::move(delivered), activated = std::move(activated)](
                QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                if (reply.isError()) {
                    delivered(errorFrom(reply.error()));
                    return;
                }
                if (clickable && activated)
                    m_activations[reply.value()] = activated;
                delivered(std::nullopt);
            });
}

void FreedesktopNotifier::onActionInvoked(uint id, const QString&)
{
    const auto found = m_activations.find(id);
    if (found == m_activations.end())
        return;
    const std::function<void()> activated = std::move(found->second);
    m_activations.erase(found);
    activated();
}

void FreedesktopNotifier::onNotificationClosed(uint id, uint) { m_activations.erase(id); }
