#pragma once
#include "service/UserNotifier.h"

#include <QDBusConnection>
#include <QObject>

#include <unordered_map>

// Desktop notifications through the session's org.freedesktop.Notifications
// server. There is no per-program permission on Linux: notifications count
// as authorised when a server answers (its capabilities, which say whether
// bodies must be escaped), and as unavailable (an error) when none does, so
// callers fall back to an alert.
class FreedesktopNotifier final : public QObject, public UserNotifier {
    Q_OBJECT
public:
    explicit FreedesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                 const QString& applicationName = QStringLiteral("Velotap"),
                                 const QString& desktopEntry = QStringLiteral("velotap"));
    ~FreedesktopNotifier() override;

    void requestAuthorization(AuthorizationHandler done) override;
    void deliver(const Content& content, DeliveryHandler delivered, std::function<void()> activated) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    QString m_applicationName;
    QString m_desktopEntry;
    // The server reads markup in bodies (its "body-markup" capability).
    bool m_bodyMarkup = false;
    // Clickable notifications still on screen.
    std::unordered_map<uint, std::function<void()>> m_activations;
};
