#pragma once
#include "service/UserNotifier.h"

#include <QList>

#include <functional>

// Answers the notification questions from fields a test sets, at once, and
// keeps what was delivered so the test can click it.
class FakeUserNotifier final : public UserNotifier {
public:
    void requestAuthorization(AuthorizationHandler done) override
    {
        done(status, authorizationError);
    }
    void deliver(const Content& content, DeliveryHandler done, std::function<void()> activated) override
    {
        delivered.append({content, std::move(activated)});
        done(deliveryError);
    }
    void click(qsizetype index) { delivered.at(index).activated(); }

    struct Delivered {
        Content content;
        std::function<void()> activated;
    };

    Authorization status = Authorization::Authorized;
    std::optional<VTError> authorizationError;
    std::optional<VTError> deliveryError;
    QList<Delivered> delivered;
};
