#include "service/UpdateCheck.h"

#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/UserDefaults.h"
#include "service/AppPolicy.h"
#include "settings/SettingsStore.h"
#include "tests/support/FakeUserNotifier.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/ScriptedAlertPresenter.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(UpdateCheck, ComparesWithTheCurrentPolicy)
{
    QTemporaryDir dir;
    UserDefaults defaults(dir.path());
    defaults.setValue(SettingsKey::ApiBaseURL, "https://svc.example.org/api/v1");
    ServiceClient client(defaults);
    ScriptedAlertPresenter alerts;
    RecordingWorkspace workspace;
    FakeUserNotifier notifier;
    NotificationCenter center;
    ManualScheduler scheduler;
    AppPolicy policy({client, defaults, alerts, workspace, notifier, center, scheduler, "1.2", "7", [] {}});
    UpdateCheck check(policy);

    const struct {
        const char* name;
        const char* versionPolicy; // JSON, "" for no policy at all
        const char* answer;
        const char* alert;
        const char* opened;
    } cases[] = {
        {"no policy", "", "OK", "You are using the latest version |  | OK", ""},
        {"same version", R"({"latest_version": "1.2.0"})", "OK", "You are using the latest version |  | OK", ""},
        {"older", R"({"latest_version": "1.1.9", "download_url": "https://dl.example.org/v"})", "Download",
         "You are using the latest version |  | Download, OK", "https://dl.example.org/v"},
        {"newer", R"({"latest_version": "1.10", "download_url": "downloads/latest"})", "Download",
         "A newer version is available | Version 1.10 is ready to download. | Download, OK",
         "https://svc.example.org/api/v1/downloads/latest"},
        {"newer without download", R"({"latest_version": "2"})", "OK",
         "A newer version is available | Version 2 is ready to download. | OK", ""},
    };
    for (const auto& c : cases) {
        if (*c.versionPolicy) {
            QTemporaryDir files;
            QFile file(files.filePath("policy.json"));
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(R"({"version_policy": )") + c.versionPolicy + "}");
            file.close();
            ASSERT_TRUE(policy.loadPolicyResource(file.fileName()));
        }
        alerts.shown.clear();
        workspace.opened.clear();
        alerts.answer(c.answer);
        check.checkForUpdates();
        ASSERT_EQ(alerts.shown.size(), 1) << c.name;
        const Alert& shown = alerts.shown.first();
        EXPECT_EQ(shown.message + " | " + shown.informativeText + " | " + shown.buttons.join(", "), c.alert) << c.name;
        EXPECT_EQ(workspace.opened.isEmpty() ? QString() : workspace.opened.first().toString(), c.opened) << c.name;
    }
}

} // namespace
