#pragma once
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

class ServiceClient;

// Posts a compatibility report to the service and words the outcome for the
// window's status line. The window may go away before the answer arrives.
class ReportSender {
public:
    struct Outcome {
        bool sent = false;
        QString status;
    };

    static const QString SendingText;

    explicit ReportSender(ServiceClient& service);
    ~ReportSender();
    ReportSender(const ReportSender&) = delete;
    ReportSender& operator=(const ReportSender&) = delete;

    bool sending() const { return m_sending; }
    // `done` runs on the main thread with the outcome, unless this sender
    // was destroyed first.
    void send(const QJsonObject& payload, std::function<void(const Outcome&)> done);

private:
    ServiceClient& m_service;
    bool m_sending = false;
    std::shared_ptr<ReportSender*> m_self;
};
