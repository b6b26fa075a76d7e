// What the maker's service (or anyone in its place) may answer: judged as a
// response under several statuses; a dictionary is then taken as the app
// policy, with its version check, messages, alerts and update check all
// run, and each link resolved. The same bytes are also posted as a report
// to the service's validation.
#include "base/AlertPresenter.h"
#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "base/Workspace.h"
#include "service/AppPolicy.h"
#include "service/ServiceClient.h"
#include "service/UpdateCheck.h"
#include "service/UserNotifier.h"
#include "service/server/ReportValidation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// Presses a button chosen by the input, so every button's path runs.
class PressingPresenter final : public AlertPresenter {
public:
    AlertResult runModal(const Alert& alert) override
    {
        if (alert.buttons.size() > 3 || alert.message.isEmpty())
            std::abort();
        return {alert.buttons.isEmpty() ? -1 : int(choice++ % alert.buttons.size()), QString()};
    }
    unsigned choice = 0;
};

class CheckingWorkspace final : public Workspace {
public:
    bool openUrl(const QUrl& url) override
    {
        // Only web addresses ever reach the browser.
        if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
            std::abort();
        return true;
    }
};

class ImmediateNotifier final : public UserNotifier {
public:
    void requestAuthorization(AuthorizationHandler done) override
    {
        done(granted ? Authorization::Authorized : Authorization::Denied, std::nullopt);
    }
    void deliver(const Content&, DeliveryHandler done, std::function<void()> activated) override
    {
        done(std::nullopt);
        if (activated)
            activated();
    }
    bool granted = true;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "ServiceResponseFuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    // Failed checks and notifications are logged; thousands of lines would only slow the run.
    static const bool quiet = (QLoggingCategory::setFilterRules(QStringLiteral("velotap.service=false")), true);
    (void)quiet;
    // The policy writes defaults; in memory those writes cost no disk syncs.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/velotap-fuzz-XXXXXX")
                                                                        : QDir::tempPath() + "/velotap-fuzz-XXXXXX");
    static UserDefaults defaults(dir.path());
    static ServiceClient client(defaults);

    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const std::optional<int> status : {std::optional<int>(), std::optional<int>(200), std::optional<int>(404)})
        ServiceClient::parseServiceResponse(body, status, std::nullopt);
    ReportValidation::parse(body);

    const ServiceResult answer = ServiceClient::parseServiceResponse(body, 200, std::nullopt);
    if (!answer.result)
        return 0;
    defaults.removeValue(QStringLiteral("shownPolicyMessageIDs"));
    PressingPresenter alerts;
    alerts.choice = size;
    CheckingWorkspace workspace;
    ImmediateNotifier notifier;
    notifier.granted = size % 2;
    NotificationCenter center;
    ManualScheduler scheduler;
    AppPolicy policy({client, defaults, alerts, workspace, notifier, center, scheduler, "1.2.3", "4", [] {}});
    policy.applyPolicyResponse(*answer.result);
    scheduler.advance(1.0);
    UpdateCheck(policy).checkForUpdates();
    for (const QJsonValue& message : policy.policyValueAtPath({QStringLiteral("messages")}).toArray())
        client.resolveServiceLink(message.toObject().value(QLatin1String("url")).toString());
    return 0;
}
