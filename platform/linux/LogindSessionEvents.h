#pragma once
#include "app/SessionEvents.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>
#include <QVariantMap>

// Sleep, wake and the session's "Active" state from systemd-logind on the
// system bus. While touch runs a "delay" sleep inhibitor is held, so the
// machine waits for touch to stop before it sleeps. Without a system bus or
// logind nothing is reported and the session counts as active.
class LogindSessionEvents final : public QObject, public SessionEvents {
    Q_OBJECT
public:
    explicit LogindSessionEvents(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);
    ~LogindSessionEvents() override;

    void setHandlers(Handlers handlers) override;
    bool sessionActive() const override { return m_active; }
    void setSleepDelayWanted(bool wanted) override;

    bool holdsSleepDelay() const { return m_inhibitor.isValid(); }
    QString sessionPath() const { return m_sessionPath; }

private slots:
    void prepareForSleep(bool start);
    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

private:
    QString findSessionPath();
    QString userDisplaySessionPath();
    bool readActive();
    void setActive(bool active);

    QDBusConnection m_bus;
    Handlers m_handlers;
    QString m_sessionPath;
    QDBusUnixFileDescriptor m_inhibitor;
    bool m_active = true;
    bool m_inhibitFailureLogged = false;
};
