#include "service/AppPolicy.h"

#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/UserDefaults.h"
#include "service/UpdateCheck.h"
#include "service/UserNotifier.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeUserNotifier.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ReferenceService.h"
#include "tests/support/ScriptedAlertPresenter.h"
#include "tests/support/WaitUntil.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QJsonObject message(const QString& title, const QString& show, const QJsonObject& more = {})
{
    QJsonObject m = more;
    m.insert("title", title);
    if (!show.isEmpty())
        m.insert("show", show);
    return m;
}

// Each alert as "message | informative | button, button".
QStringList describe(const QList<Alert>& alerts)
{
    QStringList out;
    for (const Alert& a : alerts)
        out << a.message + " | " + a.informativeText + " | " + a.buttons.join(", ");
    return out;
}

class AppPolicyTest : public ::testing::Test {
protected:
    AppPolicyTest()
    {
        store.registerDefaults();
        useService();
    }

    void useService() { defaults.setValue(SettingsKey::ApiBaseURL, service.baseURL()); }

    // One launch of the application: a new policy object asks the service
    // and everything it posts for later runs.
    AppPolicy& launch(const QString& version = "1.0", const QString& build = "10")
    {
        policy = std::make_unique<AppPolicy>(AppPolicy::Environment{
            client, defaults, alerts, workspace, notifier, center, scheduler, version, build, [this] { ++terminations; }});
        const int before = continued;
        policy->fetchAppPolicyOnLaunch([this] { ++continued; });
        EXPECT_TRUE(waitUntil([&] { return continued > before || policy->updateRequired(); }));
        scheduler.runDue();
        return *policy;
    }

    QStringList launchAndCollectAlerts()
    {
        alerts.shown.clear();
        launch();
        return alerts.messages();
    }

    QStringList installEvents() const
    {
        QStringList events;
        for (const QJsonObject& check : service.checks())
            events << check.value("query").toObject().value("install_event").toString();
        return events;
    }

    // First in, last out: the clients' connections close before the service stops.
    ReferenceService service;
    QTemporaryDir dir;
    UserDefaults defaults{dir.path()};
    NotificationCenter center;
    SettingsStore store{defaults, center};
    ServiceClient client{defaults};
    ScriptedAlertPresenter alerts;
    RecordingWorkspace workspace;
    FakeUserNotifier notifier;
    ManualScheduler scheduler;
    std::unique_ptr<AppPolicy> policy;
    int continued = 0;
    int terminations = 0;
};

TEST_F(AppPolicyTest, InstallEventsAndQueryFields)
{
    ASSERT_TRUE(service.isRunning()) << service.error().toStdString();
    launch("1.0", "10");
    launch("1.0", "10");
    launch("1.1", "11");
    EXPECT_EQ(installEvents(), QStringList({"first_launch", "policy_check", "update"}));

    // A failed check stores nothing, so the next launch reports the same event again.
    service.kill();
    launch("1.2", "12");
    EXPECT_EQ(continued, 4);
    service.start();
    useService();
    launch("1.2", "12");
    EXPECT_EQ(installEvents(), QStringList({"first_launch", "policy_check", "update", "update"}));

    // The same stored, upper-case install ID on every check.
    const QJsonObject query = service.checks().last().value("query").toObject();
    EXPECT_EQ(query.value("version").toString() + " " + query.value("app_build").toString(), "1.2 12");
    const QString installID = query.value("install_id").toString();
    EXPECT_EQ(installID, defaults.stringValue(SettingsKey::InstallID));
    EXPECT_EQ(installID, installID.toUpper());
    EXPECT_EQ(service.checks().first().value("query").toObject().value("install_id").toString(), installID);
    for (const char* key : {"os_version", "arch", "locale", "timezone"})
        EXPECT_FALSE(query.value(key).toString().isEmpty()) << key;
    EXPECT_FALSE(query.value("locale").toString().contains('_'));
}

TEST_F(AppPolicyTest, UnreadablePolicyFilesKeepTheShippedOneAndAServedOneMayBeWrapped)
{
    policy = std::make_unique<AppPolicy>(AppPolicy::Environment{
        client, defaults, alerts, workspace, notifier, center, scheduler, "1.0", "1", [] {}});
    ASSERT_TRUE(policy->loadPolicyResource(AppPolicy::shippedPolicyPath()));
    const std::optional<QJsonObject> shipped = policy->currentPolicy();
    EXPECT_TRUE(policy->policyValueAtPath({"version_policy"}).isObject());

    QTemporaryDir files;
    QFile broken(files.filePath("broken.json"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly) && broken.write("[1, 2") && broken.flush());
    EXPECT_FALSE(policy->loadPolicyResource(broken.fileName()));
    EXPECT_FALSE(policy->loadPolicyResource(files.filePath("missing.json")));
    EXPECT_EQ(policy->currentPolicy(), shipped);

    // The policy may arrive wrapped.
    const QJsonObject inner{{"version_policy", QJsonObject{{"latest_version", "3.0"}}}};
    service.setPolicy({{"policy", inner}, {"generated", "now"}});
    EXPECT_EQ(launch().currentPolicy(), inner);
    EXPECT_EQ(launch().policyStringAtPath({"version_policy", "latest_version", "deeper"}), std::nullopt);
}

TEST_F(AppPolicyTest, UnsupportedVersionEndsTheApplication)
{
    int failures = 0;
    ScopedObserver observer(center, VTNotification::MinimumSupportedVersionFailed, [&](const Notification&) {
        ++failures;
    });

    // Supported: nothing happens.
    service.setPolicy({{"version_policy", QJsonObject{{"minimum_supported_version", "1.2.0"}}}});
    launch("1.2");
    EXPECT_EQ(continued, 1);
    EXPECT_TRUE(alerts.shown.isEmpty());

    // Unsupported, with a download: the browser gets it, the end follows shortly.
    service.setPolicy({{"version_policy", QJsonObject{{"minimum_supported_version", "1.2"},
                                                {"download_url", " /downloads/latest\n"}}}});
    alerts.answer("Download Update");
    AppPolicy& old = launch("1.1.9");
    EXPECT_TRUE(old.updateRequired());
    EXPECT_EQ(continued, 1);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(describe(alerts.shown),
              QStringList({"Velotap update required | This version is no longer supported. | Download Update, Quit"}));
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened.first().toString(), QStringLiteral("http://127.0.0.1:%1/downloads/latest").arg(service.port()));
    scheduler.advance(0.59);
    EXPECT_EQ(terminations, 0);
    scheduler.advance(0.02);
    EXPECT_EQ(terminations, 1);
    // Shown once per process.
    EXPECT_FALSE(old.checkMinimumSupportedVersion());

    // Without a download address only "Quit", and the end comes at once.
    service.setPolicy({{"version_policy", QJsonObject{{"minimum_supported_version", "2"}}}});
    alerts.shown.clear();
    launch("1.9");
    EXPECT_EQ(describe(alerts.shown), QStringList({"Velotap update required | This version is no longer supported. | Quit"}));
    EXPECT_EQ(terminations, 2);
    EXPECT_EQ(continued, 1);
}

TEST_F(AppPolicyTest, MessagesChosenByShowModeAndWhatWasShown)
{
    const QJsonObject latest11{{"latest_version", "1.1"}};
    const struct {
        const char* name;
        QJsonArray messages;
        QJsonObject versionPolicy;
        QStringList firstLaunch;
        QStringList secondLaunch;
    } cases[] = {
        {"never then always", {message("A", "never"), message("B", "always")}, {}, {"B"}, {"B"}},
        {"two always", {message("A", "always"), message("B", "ALWAYS")}, {}, {"A"}, {"A"}},
        {"once with id", {message("A", "once", {{"id", "m1"}}), message("B", "always")}, {}, {"A"}, {"B"}},
        {"show on launch", {message("A", "", {{"show_on_launch", true}})}, {}, {"A"}, {"A"}},
        {"no mode", {message("A", ""), QJsonValue("not a dictionary")}, {}, {}, {}},
        {"update available", {message("A", "if_update_available")}, latest11, {"A"}, {"A"}},
        {"no update", {message("A", "if_update_available")}, {{"latest_version", "1.0.0"}}, {}, {}},
    };
    for (const auto& c : cases) {
        defaults.removeValue(SettingsKey::ShownPolicyMessageIDs);
        service.setPolicy({{"messages", c.messages}, {"version_policy", c.versionPolicy}});
        EXPECT_EQ(launchAndCollectAlerts(), c.firstLaunch) << c.name;
        EXPECT_EQ(launchAndCollectAlerts(), c.secondLaunch) << c.name;
    }

    // Asking again in the same process shows nothing new.
    service.setPolicy({{"messages", QJsonArray{message("A", "always")}}});
    launch();
    alerts.shown.clear();
    policy->presentPolicyMessages();
    scheduler.runDue();
    EXPECT_TRUE(alerts.shown.isEmpty());

    // A once message without an id returns when its text changes.
    service.setPolicy({{"messages", QJsonArray{message("News", "once", {{"message", "first"}})}}});
    EXPECT_EQ(launchAndCollectAlerts(), QStringList({"News"}));
    EXPECT_EQ(launchAndCollectAlerts(), QStringList());
    EXPECT_EQ(defaults.value(SettingsKey::ShownPolicyMessageIDs).toArray(), QJsonArray({"News\nfirst"}));

    service.setPolicy({{"messages", QJsonArray{message("News", "once", {{"body", "second"}})}}});
    EXPECT_EQ(launchAndCollectAlerts(), QStringList({"News"}));
    EXPECT_EQ(launchAndCollectAlerts(), QStringList());
}

TEST_F(AppPolicyTest, AlertMessagesAndTheirButtons)
{
    // A link without actions gives "Open" and "OK"; "Open" follows the link
    // made absolute against the service's base path.
    service.setPolicy({{"messages", QJsonArray{message("Read this", "always", {{"message", "text"}, {"url", "news/1"}})}}});
    alerts.answer("Open");
    launch();
    EXPECT_EQ(describe(alerts.shown), QStringList({"Read this | text | Open, OK"}));
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened.first().toString(), service.baseURL() + "/news/1");
    EXPECT_EQ(continued, 1);

    // At most three buttons, labels defaulting to "OK"; only a link opens anything.
    QJsonArray five{QJsonObject{{"label", "One"}}, QJsonValue(7), QJsonObject{{"label", "Three"}, {"url", "https://example.org/3"}},
                    QJsonObject{{"label", "Four"}}, QJsonObject{{"label", "Five"}}};
    service.setPolicy({{"messages", QJsonArray{message("", "always", {{"actions", five}})}}});
    alerts.shown.clear();
    alerts.answer("Three");
    launch();
    EXPECT_EQ(describe(alerts.shown), QStringList({"Velotap |  | One, OK, Three"}));
    EXPECT_EQ(workspace.opened.last().toString(), "https://example.org/3");
}

TEST_F(AppPolicyTest, NotificationMessagesAndTheirFallback)
{
    const QJsonObject balloon = message("Tip", "always", {{"type", "Balloon"}, {"body", "Try pen mode"}, {"url", "/tips/pen"}});
    service.setPolicy({{"messages", QJsonArray{balloon}}});

    launch();
    EXPECT_TRUE(alerts.shown.isEmpty());
    ASSERT_EQ(notifier.delivered.size(), 1);
    const auto& content = notifier.delivered.first().content;
    EXPECT_EQ(QStringList({content.title, content.body, content.actionLabel}), QStringList({"Tip", "Try pen mode", "Open"}));
    notifier.click(0);
    ASSERT_EQ(workspace.opened.size(), 1);
    EXPECT_EQ(workspace.opened.first().toString(), QStringLiteral("http://127.0.0.1:%1/tips/pen").arg(service.port()));

    // Refused, failed or not delivered: the same message as an alert.
    notifier.status = UserNotifier::Authorization::Denied;
    EXPECT_EQ(launchAndCollectAlerts(), QStringList({"Tip"}));
    EXPECT_EQ(describe(alerts.shown), QStringList({"Tip | Try pen mode | Open, OK"}));

    notifier.status = UserNotifier::Authorization::Authorized;
    notifier.authorizationError = VTError{"org.freedesktop.DBus.Error.ServiceUnknown", 0, "no notification server"};
    EXPECT_EQ(launchAndCollectAlerts(), QStringList({"Tip"}));

    notifier.authorizationError.reset();
    notifier.deliveryError = VTError{"org.freedesktop.DBus.Error.NoReply", 0, "no reply"};
    service.setPolicy({{"messages", QJsonArray{message("", "always", {{"presentation", "notification"}, {"actions", QJsonArray{QJsonObject{{"label", "Ignored"}}}}})}}});
    alerts.shown.clear();
    launch();
    EXPECT_EQ(notifier.delivered.last().content.title + "|" + notifier.delivered.last().content.actionLabel, "Velotap|");
    EXPECT_EQ(describe(alerts.shown), QStringList({"Velotap |  | OK"}));
}

TEST_F(AppPolicyTest, UpdateCheckComparesWithTheCurrentPolicy)
{
    const struct {
        const char* name;
        QJsonObject versionPolicy;
        const char* answer;
        const char* alert;
        QString opened;
    } cases[] = {
        {"no policy", {}, "OK", "You are using the latest version |  | OK", ""},
        {"same version", {{"latest_version", "1.2.0"}}, "OK", "You are using the latest version |  | OK", ""},
        {"older", {{"latest_version", "1.1.9"}, {"download_url", "https://dl.example.org/v"}}, "Download",
         "You are using the latest version |  | Download, OK", "https://dl.example.org/v"},
        {"newer", {{"latest_version", "1.10"}, {"download_url", "downloads/latest"}}, "Download",
         "A newer version is available | Version 1.10 is ready to download. | Download, OK",
         service.baseURL() + "/downloads/latest"},
        {"newer without download", {{"latest_version", "2"}}, "OK",
         "A newer version is available | Version 2 is ready to download. | OK", ""},
    };
    for (const auto& c : cases) {
        service.setPolicy(c.versionPolicy.isEmpty() ? QJsonObject() : QJsonObject{{"version_policy", c.versionPolicy}});
        launch("1.2");
        alerts.shown.clear();
        workspace.opened.clear();
        alerts.answer(c.answer);
        UpdateCheck(*policy).checkForUpdates();
        EXPECT_EQ(describe(alerts.shown), QStringList{c.alert}) << c.name;
        EXPECT_EQ(workspace.opened.isEmpty() ? QString() : workspace.opened.first().toString(), c.opened) << c.name;
    }
}

TEST(CompareVersions, NumbersNotText)
{
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"1.2", "1.2.0", 0},     {"1.10", "1.9", 1},        {"1.1.9", "1.2", -1}, {"2.0 (45)", "2.0.45", 0},
        {"beta", "0", 0},        {"", "0.0.1", -1},         {"v1-rc2", "1.2", 0}, {"007", "7", 0},
        {"99999999999999999999999", "99999999999999999999998", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppPolicy::compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(AppPolicy::compareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
}

} // namespace
