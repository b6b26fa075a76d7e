#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// Stands in for the desktop's notification server on a test bus: owns
// org.freedesktop.Notifications, records every Notify call, and lets the
// test play the user (clicking an action, closing a notification).
class NotificationServerDouble : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit NotificationServerDouble(const QDBusConnection& bus);
    ~NotificationServerDouble() override;

    bool isRegistered() const { return m_registered; }

    struct Call {
        uint id = 0;
        QString applicationName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Call> calls;
    // What GetCapabilities answers.
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body")};
    // Notify answers with this D-Bus error name when set.
    QString failNotifyWith;

    void invokeAction(uint id, const QString& actionKey);
    void closeNotification(uint id, uint reason = 2);

public Q_SLOTS:
    uint Notify(const QString& app_name, uint replaces_id, const QString& app_icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expire_timeout);
    QStringList GetCapabilities();
    QString GetServerInformation(QString& vendor, QString& version, QString& spec_version);
    void CloseNotification(uint id);

private:
    void emitSignal(const QString& name, const QVariantList& arguments);

    QDBusConnection m_bus;
    bool m_registered = false;
    uint m_nextId = 1;
};
