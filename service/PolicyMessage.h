#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// One entry of the policy's "messages", with the values derived from it.
// Values of the wrong type count as absent.
struct PolicyMessage {
    // "always", "once", "if_update_available", "never", anything else or "".
    QString showMode;
    // "id", else title and text joined by a line break; never empty.
    QString identity;
    QString title;
    QString text;
    // Lower case; "notification" and "balloon" mean a desktop notification.
    QString kind;
    // "url", else the first action's "url".
    QString link;
    QJsonArray actions;

    static PolicyMessage fromJson(const QJsonObject& message);
    bool isNotification() const;
};
