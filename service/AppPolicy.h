#pragma once
#include "service/ServiceClient.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class AlertPresenter;
class NotificationCenter;
class Scheduler;
class UserDefaults;
class UserNotifier;
class Workspace;
struct PolicyMessage;

// The app policy of the maker's service: asked for at every launch, it may
// declare this version unsupported, announce the latest version and carry
// one message to show. One object for the whole process, owned by the
// application delegate; main thread only.
class AppPolicy {
public:
    struct Environment {
        ServiceClient& client;
        UserDefaults& defaults;
        AlertPresenter& alerts;
        Workspace& workspace;
        UserNotifier& notifier;
        NotificationCenter& center;
        Scheduler& scheduler;
        // "0.9" and "1" when empty.
        QString version;
        QString build;
        // Ends the application (an unsupported version does not run on).
        std::function<void()> terminate;
    };

    explicit AppPolicy(Environment environment);
    ~AppPolicy();
    AppPolicy(const AppPolicy&) = delete;
    AppPolicy& operator=(const AppPolicy&) = delete;

    // The policy document built into the program.
    static QString shippedPolicyPath();
    // Makes the file's dictionary the current policy; a missing or broken
    // file is logged and leaves the current policy as it was.
    bool loadPolicyResource(const QString& path);

    // Sends the policy request. `continueStartup` runs on the main thread
    // once the answer is dealt with, successful or not, unless this version
    // is no longer supported (then the application ends).
    void fetchAppPolicyOnLaunch(std::function<void()> continueStartup);
    // The request's query: install event, version, system facts.
    ServiceQuery policyQuery();
    // What a successful answer does: the policy is replaced, this launch
    // recorded, the version checked and a message chosen. False when this
    // version is unsupported and start-up must not go on.
    bool applyPolicyResponse(const QJsonObject& response);

    // Set once this version was declared unsupported; never cleared.
    bool updateRequired() const { return m_updateRequired; }
    const std::optional<QJsonObject>& currentPolicy() const { return m_currentPolicy; }
    // Undefined when a step is missing or not a dictionary.
    QJsonValue policyValueAtPath(const QStringList& keys) const;
    std::optional<QString> policyStringAtPath(const QStringList& keys) const;

    // True when this version is unsupported: the alert was shown and the
    // application is ending.
    bool checkMinimumSupportedVersion();
    // Whether the policy announces a version later than this one.
    bool updateAvailable() const;
    // Chooses at most one message and shows it after the current work.
    void presentPolicyMessages();

    // A modal alert with up to three buttons from action dictionaries
    // ("label", "url", "dismiss"); a button with a link opens it.
    void showActionAlert(const QString& title, const QString& text, const QJsonArray& actions);

    // -1, 0 or +1, comparing the runs of digits in each text as numbers.
    static int compareVersions(const QString& a, const QString& b);

private:
    void handlePolicyResponse(const std::optional<QJsonObject>& result, const std::optional<VTError>& error,
                              const std::function<void()>& continueStartup);
    QString installEvent() const;
    bool isChosen(const PolicyMessage& message) const;
    void rememberShownOnce(const QString& identity);
    void presentMessage(const PolicyMessage& message);
    void presentNotification(const PolicyMessage& message);
    void fallBackToAlert(const PolicyMessage& message);
    void openServiceLink(const QString& link);
    // Runs `task` later unless this object is gone by then.
    void later(std::function<void()> task);

    Environment m_env;
    std::optional<QJsonObject> m_currentPolicy;
    bool m_updateRequired = false;
    bool m_minimumVersionAlertShown = false;
    QSet<QString> m_presentedIdentities;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};
