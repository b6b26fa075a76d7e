#include "tests/support/LogindDouble.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMetaType>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QThread>

#include <atomic>
#include <poll.h>
#include <unistd.h>

namespace {

const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");

// logind's reference to a session: its id and object path, "(so)".
struct SessionReference {
    QString id;
    QDBusObjectPath path;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SessionReference& reference)
{
    argument.beginStructure();
    argument << reference.id << reference.path;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SessionReference& reference)
{
    argument.beginStructure();
    argument >> reference.id >> reference.path;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(SessionReference)

// The context tells adaptor calls who called, so that they can fail.
class LogindDouble::Service : public QObject, public QDBusContext {
    Q_OBJECT
public:
    std::atomic<bool> active{true};
    std::atomic<bool> callerOutsideSessions{false};
    std::atomic<int> inhibitCalls{0};
    QMutex mutex;
    int lockReadEnd = -1;

    ~Service() override
    {
        if (lockReadEnd >= 0)
            ::close(lockReadEnd);
    }
};

namespace {

class ManagerAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    explicit ManagerAdaptor(LogindDouble::Service* service) : QDBusAbstractAdaptor(service), m_service(service) {}

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString&, const QString&)
    {
        ++m_service->inhibitCalls;
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        QDBusUnixFileDescriptor lock(fds[1]); // a copy: ours closes now
        ::close(fds[1]);
        QMutexLocker locker(&m_service->mutex);
        if (m_service->lockReadEnd >= 0)
            ::close(m_service->lockReadEnd);
        m_service->lockReadEnd = fds[0];
        return lock;
    }
    QDBusObjectPath GetSession(const QString&) { return QDBusObjectPath(LogindDouble::SessionPath); }
    QDBusObjectPath GetSessionByPID(uint pid)
    {
        if (m_service->callerOutsideSessions) {
            m_service->sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"),
                                      QStringLiteral("PID %1 does not belong to any known session").arg(pid));
            return {};
        }
        return QDBusObjectPath(LogindDouble::SessionPath);
    }
    QDBusObjectPath GetUser(uint) { return QDBusObjectPath(LogindDouble::UserPath); }

private:
    LogindDouble::Service* m_service;
};

class SessionAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(bool Active READ active)
public:
    SessionAdaptor(QObject* object, LogindDouble::Service* service) : QDBusAbstractAdaptor(object), m_service(service) {}
    bool active() const { return m_service->active; }

private:
    LogindDouble::Service* m_service;
};

class UserAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.User")
    Q_PROPERTY(SessionReference Display READ display)
public:
    explicit UserAdaptor(QObject* object) : QDBusAbstractAdaptor(object) {}
    SessionReference display() const
    {
        return {LogindDouble::SessionId, QDBusObjectPath(LogindDouble::SessionPath)};
    }
};

} // namespace

LogindDouble::LogindDouble(const QByteArray& busAddress)
    : m_thread(std::make_unique<QThread>()), m_connectionName(QStringLiteral("logind-double-%1").arg(quintptr(this)))
{
    m_service = new Service;
    new ManagerAdaptor(m_service);
    auto* session = new QObject(m_service);
    new SessionAdaptor(session, m_service);
    qDBusRegisterMetaType<SessionReference>();
    auto* user = new QObject(m_service);
    new UserAdaptor(user);
    m_service->moveToThread(m_thread.get());
    m_thread->start();

    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(busAddress), m_connectionName);
    m_serving = bus.isConnected() && bus.registerObject(kManagerPath, m_service, QDBusConnection::ExportAdaptors)
        && bus.registerObject(SessionPath, session, QDBusConnection::ExportAdaptors)
        && bus.registerObject(UserPath, user, QDBusConnection::ExportAdaptors)
        && bus.registerService(QStringLiteral("org.freedesktop.login1"));
}

LogindDouble::~LogindDouble()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    // Goes in its own thread, where its adaptors live.
    QMetaObject::invokeMethod(m_service, [service = m_service] { delete service; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void LogindDouble::prepareForSleep(bool start)
{
    QDBusMessage signal =
        QDBusMessage::createSignal(kManagerPath, QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"));
    signal << start;
    QDBusConnection(m_connectionName).send(signal);
}

void LogindDouble::setActive(bool active)
{
    m_service->active = active;
    QDBusMessage signal = QDBusMessage::createSignal(SessionPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.freedesktop.login1.Session") << QVariantMap{{QStringLiteral("Active"), active}}
           << QStringList{};
    QDBusConnection(m_connectionName).send(signal);
}

void LogindDouble::setCallerOutsideSessions(bool outside)
{
    m_service->callerOutsideSessions = outside;
}

int LogindDouble::inhibitCalls() const
{
    return m_service->inhibitCalls;
}

bool LogindDouble::lockHeld() const
{
    QMutexLocker locker(&m_service->mutex);
    if (m_service->lockReadEnd < 0)
        return false;
    pollfd p{m_service->lockReadEnd, POLLIN, 0};
    // The pipe ends (hang-up) once every copy of the write end is closed.
    return ::poll(&p, 1, 0) == 0;
}

#include "LogindDouble.moc"
