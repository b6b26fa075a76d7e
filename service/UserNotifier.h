#pragma once
#include "base/VTError.h"

#include <QString>

#include <functional>
#include <optional>

// The desktop's notification service, as the program uses it: ask whether
// notifications may be shown, then show one that can be clicked.
class UserNotifier {
public:
    enum class Authorization { NotDetermined, Denied, Authorized };

    struct Content {
        QString title;
        QString body;
        // Offered as the notification's action when not empty.
        QString actionLabel;
    };

    using AuthorizationHandler = std::function<void(Authorization status, const std::optional<VTError>& error)>;
    using DeliveryHandler = std::function<void(const std::optional<VTError>& error)>;

    virtual ~UserNotifier() = default;

    // Answers later on the main thread; an error means the service could not be asked.
    virtual void requestAuthorization(AuthorizationHandler done) = 0;
    // `activated` runs on the main thread when the user clicks the notification
    // or its action; `delivered` reports whether the desktop took it.
    virtual void deliver(const Content& content, DeliveryHandler delivered, std::function<void()> activated) = 0;
};
