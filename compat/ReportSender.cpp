#include "compat/ReportSender.h"

#include "compat/CompatibilityReport.h"
#include "service/ServiceClient.h"

const QString ReportSender::SendingText = QStringLiteral("Sending anonymous report...");

ReportSender::ReportSender(ServiceClient& service)
    : m_service(service), m_self(std::make_shared<ReportSender*>(this))
{
}

ReportSender::~ReportSender()
{
    *m_self = nullptr;
}

void ReportSender::send(const QJsonObject& payload, std::function<void(const Outcome&)> done)
{
    m_sending = true;
    std::weak_ptr<ReportSender*> self = m_self;
    m_service.postJSON(compatreport::ReportsPath, payload,
                       [self, done = std::move(done)](const std::optional<QJsonObject>& result,
                                                      const std::optional<VTError>& error) {
                           const std::shared_ptr<ReportSender*> alive = self.lock();
                           if (!alive || !*alive)
                               return;
                           (*alive)->m_sending = false;
                           Outcome outcome;
                           if (error) {
                               outcome.status = error->description.isEmpty() ? QStringLiteral("Could not send report.")
                                                                             : error->description;
                           } else {
                               outcome.sent = true;
                               const QJsonValue id = result ? result->value(QStringLiteral("id")) : QJsonValue();
                               const QString text = id.isString() ? id.toString() : QString();
                               outcome.status = text.isEmpty() ? QStringLiteral("Anonymous report sent.")
                                                               : QStringLiteral("Anonymous report sent: %1").arg(text);
                           }
                           done(outcome);
                       });
}
