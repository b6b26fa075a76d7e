#include "app/SingleInstance.h"

#include "applicationadaptor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.Application");

} // namespace

SingleInstance::SingleInstance(QString serviceName, QObject* parent)
    : QObject(parent), m_serviceName(std::move(serviceName))
{
    new ApplicationAdaptor(this);
}

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_serviceName);
    bus.unregisterObject(objectPath());
}

QString SingleInstance::objectPath() const
{
    return QLatin1Char('/') + QString(m_serviceName).replace(QLatin1Char('.'), QLatin1Char('/'));
}

QVariantMap SingleInstance::launchPlatformData()
{
    QVariantMap data;
    const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    if (!startupId.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), startupId);
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty())
        data.insert(QStringLiteral("activation-token"), token);
    return data;
}

SingleInstance::Outcome SingleInstance::claim(int answerTimeoutMs, const QString& action)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        m_detail = QStringLiteral("no session bus (%1)").arg(bus.lastError().message());
        return Outcome::NoBus;
    }
    bus.registerObject(objectPath(), this);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        m_serviceName, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Outcome::First;
    }
    bus.unregisterObject(objectPath());
    if (!reply.isValid()) {
        m_detail = reply.error().message();
        return Outcome::NoBus;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(m_serviceName, objectPath(), kInterface,
                                                       action.isEmpty() ? QStringLiteral("Activate")
                                                                        : QStringLiteral("ActivateAction"));
    if (!action.isEmpty())
        call << action << QVariant::fromValue(QVariantList());
    call << launchPlatformData();
    const QDBusMessage answer = bus.call(call, QDBus::Block, answerTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Outcome::OtherActivated;
    m_detail = answer.errorMessage();
    return Outcome::OtherSilent;
}

void SingleInstance::adoptPlatformData(const QVariantMap& platform_data)
{
    // Lets the window we show take the focus from the launcher.
    const QString token = platform_data.value(QStringLiteral("activation-token")).toString();
    if (!token.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
    const QString startupId = platform_data.value(QStringLiteral("desktop-startup-id")).toString();
    if (!startupId.isEmpty())
        qputenv("DESKTOP_STARTUP_ID", startupId.toUtf8());
}

void SingleInstance::Activate(const QVariantMap& platform_data)
{
    adoptPlatformData(platform_data);
    emit activated();
}

void SingleInstance::Open(const QStringList&, const QVariantMap& platform_data)
{
    Activate(platform_data);
}

void SingleInstance::ActivateAction(const QString& action_name, const QVariantList&, const QVariantMap& platform_data)
{
    adoptPlatformData(platform_data);
    emit actionActivated(action_name);
}
