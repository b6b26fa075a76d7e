#include "platform/linux/LogindSessionEvents.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QLoggingCategory>

#include <unistd.h>

Q_LOGGING_CATEGORY(lcSession, "velotap.session")

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// A hung bus must not hold up start-up or a touch start for long.
constexpr int kCallTimeoutMs = 2000;

} // namespace

LogindSessionEvents::LogindSessionEvents(QDBusConnection bus, QObject* parent)
    : QObject(parent), m_bus(std::move(bus))
{
    if (!m_bus.isConnected()) {
        qCInfo(lcSession) << "Velotap has no system bus: sleep, wake and user switching are not followed";
        return;
    }
    m_bus.connect(kService, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    m_sessionPath = findSessionPath();
    if (m_sessionPath.isEmpty())
        return;
    m_bus.connect(kService, m_sessionPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
    m_active = readActive();
}

LogindSessionEvents::~LogindSessionEvents() = default;

QString LogindSessionEvents::findSessionPath()
{
    const QString id = qEnvironmentVariable("XDG_SESSION_ID");
    QDBusMessage call = id.isEmpty()
        ? QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSessionByPID"))
              << quint32(::getpid())
        : QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetSession")) << id;
    const QDBusReply<QDBusObjectPath> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.isValid())
        return reply.value().path();
    // Started outside any session, as desktops start autostart entries (a
    // service of the user's systemd): the session on the screen is the
    // user's graphical one.
    if (id.isEmpty()) {
        if (const QString display = userDisplaySessionPath(); !display.isEmpty())
            return display;
    }
    qCInfo(lcSession).noquote() << "Velotap does not follow the login session:" << reply.error().message();
    return {};
}

QString LogindSessionEvents::userDisplaySessionPath()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("GetUser"))
        << quint32(::getuid());
    const QDBusReply<QDBusObjectPath> user = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!user.isValid())
        return {};
    call = QDBusMessage::createMethodCall(kService, user.value().path(), kProperties, QStringLiteral("Get"))
        << QStringLiteral("org.freedesktop.login1.User") << QStringLiteral("Display");
    const QDBusReply<QDBusVariant> display = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (!display.isValid() || display.value().variant().userType() != qMetaTypeId<QDBusArgument>())
        return {};
    // (session id, session path); an empty id when the user has no graphical session.
    const QDBusArgument argument = display.value().variant().value<QDBusArgument>();
    if (argument.currentSignature() != QLatin1String("(so)"))
        return {};
    QString sessionId;
    QDBusObjectPath sessionPath;
    argument.beginStructure();
    argument >> sessionId >> sessionPath;
    argument.endStructure();
    return sessionId.isEmpty() ? QString() : sessionPath.path();
}

bool LogindSessionEvents::readActive()
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, m_sessionPath, kProperties, QStringLiteral("Get"))
        << kSession << QStringLiteral("Active");
    const QDBusReply<QDBusVariant> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    return !reply.isValid() || reply.value().variant().toBool();
}

void LogindSessionEvents::setHandlers(Handlers handlers)
{
    m_handlers = std::move(handlers);
}

void LogindSessionEvents::setSleepDelayWanted(bool wanted)
{
    if (!wanted) {
        // Closing our end of the lock lets sleep go ahead.
        m_inhibitor = QDBusUnixFileDescriptor();
        return;
    }
    if (m_inhibitor.isValid() || !m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, QStringLiteral("Inhibit"))
        << QStringLiteral("sleep") << QStringLiteral("Velotap") << QStringLiteral("Touch input stops before sleep")
        << QStringLiteral("delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.isValid())
        m_inhibitor = reply.value();
    else if (!std::exchange(m_inhibitFailureLogged, true))
        qCInfo(lcSession).noquote() << "Velotap cannot delay sleep:" << reply.error().message();
}

void LogindSessionEvents::prepareForSleep(bool start)
{
    const auto& handler = start ? m_handlers.willSleep : m_handlers.didWake;
    if (handler)
        handler();
}

void LogindSessionEvents::sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                   const QStringList& invalidated)
{
    if (interface != kSession)
        return;
    if (changed.contains(QStringLiteral("Active")))
        setActive(changed.value(QStringLiteral("Active")).toBool());
    else if (invalidated.contains(QStringLiteral("Active")))
        setActive(readActive());
}

void LogindSessionEvents::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (m_handlers.activeChanged)
        m_handlers.activeChanged(active);
}
