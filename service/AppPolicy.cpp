#include "service/AppPolicy.h"

#include "base/AlertPresenter.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/Scheduler.h"
#include "base/UserDefaults.h"
#include "base/Workspace.h"
#include "service/InstallID.h"
#include "service/PolicyMessage.h"
#include "service/ServiceLog.h"
#include "service/UserNotifier.h"
#include "settings/SettingsStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QSysInfo>
#include <QTimeZone>

#include <sys/utsname.h>

Q_LOGGING_CATEGORY(lcService, "velotap.service")

namespace {

const QString PolicyPath = QStringLiteral("/app-policy/");
const QString OKLabel = QStringLiteral("OK");
const QString DownloadUpdateLabel = QStringLiteral("Download Update");
constexpr double TerminateDelayAfterDownload = 0.6;

QString orUnknown(const QString& value) { return value.isEmpty() ? QStringLiteral("unknown") : value; }

QString machineName()
{
    utsname name{};
    if (uname(&name) != 0)
        return QString();
    return QString::fromLocal8Bit(name.machine);
}

QJsonObject okAction() { return QJsonObject{{"label", OKLabel}, {"dismiss", true}}; }

// "Open" with the link, then "OK"; just "OK" without a link.
QJsonArray openOrOkActions(const QString& link)
{
    if (link.isEmpty())
        return QJsonArray{okAction()};
    return QJsonArray{QJsonObject{{"label", QStringLiteral("Open")}, {"url", link}}, okAction()};
}

// The runs of digits of a version, without leading zeros, so that any
// length compares correctly without overflow.
QStringList versionNumbers(const QString& version)
{
    QStringList numbers;
    QString current;
    auto flush = [&] {
        if (current.isEmpty())
            return;
        qsizetype zeros = 0;
        while (zeros < current.size() - 1 && current.at(zeros) == QLatin1Char('0'))
            ++zeros;
        numbers << current.mid(zeros);
        current.clear();
    };
    for (const QChar c : version) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            current += c;
        else
            flush();
    }
    flush();
    return numbers;
}

int compareNumbers(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

AppPolicy::AppPolicy(Environment environment) : m_env(std::move(environment))
{
    if (m_env.version.isEmpty())
        m_env.version = QStringLiteral("0.9");
    if (m_env.build.isEmpty())
        m_env.build = QStringLiteral("1");
}

AppPolicy::~AppPolicy() = default;

QString AppPolicy::shippedPolicyPath() { return QStringLiteral(":/velotap/VelotapPolicy.json"); }

bool AppPolicy::loadPolicyResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcService, "Velotap policy document %s could not be read: %s", qPrintable(path),
                  qPrintable(file.errorString()));
        return false;
    }
    QJsonParseError error{};
    QJsonDocument document;
    if (file.size() <= ServiceClient::MaximumResponseSize)
        document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qCWarning(lcService, "Velotap policy document %s is not a JSON object", qPrintable(path));
        return false;
    }
    m_currentPolicy = document.object();
    return true;
}

QString AppPolicy::installEvent() const
{
    const QString lastVersion = m_env.defaults.stringValue(SettingsKey::LastLaunchedVersion);
    const QString lastBuild = m_env.defaults.stringValue(SettingsKey::LastLaunchedBuild);
    if (lastVersion.isEmpty() || lastBuild.isEmpty())
        return QStringLiteral("first_launch");
    if (lastVersion == m_env.version && lastBuild == m_env.build)
        return QStringLiteral("policy_check");
    return QStringLiteral("update");
}

ServiceQuery AppPolicy::policyQuery()
{
    return {
        {QStringLiteral("app"), QStringLiteral("velotap")},
        {QStringLiteral("platform"), QStringLiteral("linux")},
        {QStringLiteral("channel"), QStringLiteral("stable")},
        {QStringLiteral("version"), m_env.version},
        {QStringLiteral("app_build"), m_env.build},
        {QStringLiteral("install_id"), currentInstallID(m_env.defaults)},
        {QStringLiteral("install_event"), installEvent()},
        {QStringLiteral("os_version"), QSysInfo::prettyProductName()},
        {QStringLiteral("arch"), orUnknown(machineName())},
        {QStringLiteral("locale"), orUnknown(QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-')))},
        {QStringLiteral("timezone"), orUnknown(QString::fromUtf8(QTimeZone::systemTimeZoneId()))},
    };
}

void AppPolicy::fetchAppPolicyOnLaunch(std::function<void()> continueStartup)
{
    std::weak_ptr<int> alive = m_lifetime;
    m_env.client.getJSON(PolicyPath, policyQuery(),
                         [this, alive, continueStartup = std::move(continueStartup)](
                             const std::optional<QJsonObject>& result, const std::optional<VTError>& error) {
                             if (!alive.expired())
                                 handlePolicyResponse(result, error, continueStartup);
                         });
}

void AppPolicy::handlePolicyResponse(const std::optional<QJsonObject>& result, const std::optional<VTError>& error,
                                     const std::function<void()>& continueStartup)
{
    if (error || !result) {
        // The last-launched values stay, so the next launch reports the same event.
        qCWarning(lcService, "Velotap app policy check failed: %s",
                  qPrintable(error ? error->description : QStringLiteral("no answer")));
        continueStartup();
        return;
    }
    if (applyPolicyResponse(*result))
        continueStartup();
}

bool AppPolicy::applyPolicyResponse(const QJsonObject& response)
{
    const QJsonValue inner = response.value(QLatin1String("policy"));
    m_currentPolicy = inner.isObject() ? inner.toObject() : response;
    m_env.defaults.setValue(SettingsKey::LastLaunchedVersion, m_env.version);
    m_env.defaults.setValue(SettingsKey::LastLaunchedBuild, m_env.build);

    if (checkMinimumSupportedVersion())
        return false;
    presentPolicyMessages();
    return true;
}

QJsonValue AppPolicy::policyValueAtPath(const QStringList& keys) const
{
    if (!m_currentPolicy)
        return QJsonValue(QJsonValue::Undefined);
    QJsonValue value = *m_currentPolicy;
    for (const QString& key : keys) {
        if (!value.isObject())
            return QJsonValue(QJsonValue::Undefined);
        value = value.toObject().value(key);
    }
    return value;
}

std::optional<QString> AppPolicy::policyStringAtPath(const QStringList& keys) const
{
    const QJsonValue value = policyValueAtPath(keys);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

bool AppPolicy::checkMinimumSupportedVersion()
{
    if (m_minimumVersionAlertShown)
        return false;
    const QString minimum =
        policyStringAtPath({QStringLiteral("version_policy"), QStringLiteral("minimum_supported_version")})
            .value_or(QString());
    if (minimum.isEmpty() || compareVersions(m_env.version, minimum) != -1)
        return false;

    m_minimumVersionAlertShown = true;
    m_updateRequired = true;
    m_env.center.post(VTNotification::MinimumSupportedVersionFailed);

    const QString download = policyStringAtPath({QStringLiteral("version_policy"), QStringLiteral("download_url")})
                                 .value_or(QString())
                                 .trimmed();
    Alert alert;
    alert.message = QStringLiteral("Velotap update required");
    alert.informativeText = QStringLiteral("This version is no longer supported.");
    if (!download.isEmpty())
        alert.buttons << DownloadUpdateLabel;
    alert.buttons << QStringLiteral("Quit");

    const AlertResult answer = m_env.alerts.runModal(alert);
    if (!download.isEmpty() && answer.buttonTitle(alert) == DownloadUpdateLabel) {
        openServiceLink(download);
        // Gives the browser a moment to take the address before we go.
        m_env.scheduler.schedule(TerminateDelayAfterDownload, m_env.terminate);
    } else {
        m_env.terminate();
    }
    return true;
}

bool AppPolicy::updateAvailable() const
{
    const QString latest =
        policyStringAtPath({QStringLiteral("version_policy"), QStringLiteral("latest_version")}).value_or(QString());
    return !latest.isEmpty() && compareVersions(m_env.version, latest) == -1;
}

bool AppPolicy::isChosen(const PolicyMessage& message) const
{
    if (message.showMode == QLatin1String("always"))
        return true;
    if (message.showMode == QLatin1String("once"))
        return !m_env.defaults.value(SettingsKey::ShownPolicyMessageIDs).toArray().contains(message.identity);
    if (message.showMode == QLatin1String("if_update_available"))
        return updateAvailable();
    return false;
}

void AppPolicy::presentPolicyMessages()
{
    const QJsonValue messages = policyValueAtPath({QStringLiteral("messages")});
    if (!messages.isArray())
        return;
    std::optional<PolicyMessage> chosen;
    for (const QJsonValue& entry : messages.toArray()) {
        if (!entry.isObject())
            continue;
        PolicyMessage message = PolicyMessage::fromJson(entry.toObject());
        if (isChosen(message)) {
            chosen = std::move(message);
            break;
        }
    }
    if (!chosen || m_presentedIdentities.contains(chosen->identity))
        return;
    m_presentedIdentities.insert(chosen->identity);
    // Stored before it is shown: a "once" message ignored by the user still counts.
    if (chosen->showMode == QLatin1String("once"))
        rememberShownOnce(chosen->identity);
    later([this, message = *chosen] { presentMessage(message); });
}

void AppPolicy::rememberShownOnce(const QString& identity)
{
    m_env.defaults.update([&identity](QJsonObject& stored) {
        QJsonArray shown = stored.value(SettingsKey::ShownPolicyMessageIDs).toArray();
        if (!shown.contains(identity)) {
            shown.append(identity);
            stored.insert(SettingsKey::ShownPolicyMessageIDs, shown);
        }
    });
}

void AppPolicy::presentMessage(const PolicyMessage& message)
{
    if (message.isNotification()) {
        presentNotification(message);
        return;
    }
    showActionAlert(message.title, message.text,
                    message.actions.isEmpty() && !message.link.isEmpty() ? openOrOkActions(message.link)
                                                                         : message.actions);
}

void AppPolicy::presentNotification(const PolicyMessage& message)
{
    std::weak_ptr<int> alive = m_lifetime;
    m_env.notifier.requestAuthorization([this, alive, message](UserNotifier::Authorization status,
                                                               const std::optional<VTError>& error) {
        if (alive.expired())
            return;
        if (error || status == UserNotifier::Authorization::Denied) {
            qCWarning(lcService, "Velotap notification authorization failed: %s",
                      qPrintable(error ? error->description : QStringLiteral("not granted")));
            fallBackToAlert(message);
            return;
        }
        if (status != UserNotifier::Authorization::Authorized) {
            fallBackToAlert(message);
            return;
        }
        UserNotifier::Content content;
        content.title = message.title.isEmpty() ? QStringLiteral("Velotap") : message.title;
        content.body = message.text;
        if (!message.link.isEmpty())
            content.actionLabel = QStringLiteral("Open");
        m_env.notifier.deliver(
            content,
            [this, alive, message](const std::optional<VTError>& deliveryError) {
                if (alive.expired() || !deliveryError)
                    return;
                qCWarning(lcService, "Velotap notification delivery failed: %s",
                          qPrintable(deliveryError->description));
                fallBackToAlert(message);
            },
            [this, alive, link = message.link] {
                if (!alive.expired() && !link.isEmpty())
                    openServiceLink(link);
            });
    });
}

void AppPolicy::fallBackToAlert(const PolicyMessage& message)
{
    later([this, message] { showActionAlert(message.title, message.text, openOrOkActions(message.link)); });
}

void AppPolicy::showActionAlert(const QString& title, const QString& text, const QJsonArray& actions)
{
    constexpr qsizetype MaximumButtons = 3;
    const QJsonArray list = actions.isEmpty() ? QJsonArray{okAction()} : actions;
    Alert alert;
    alert.message = title.isEmpty() ? QStringLiteral("Velotap") : title;
    alert.informativeText = text;
    QStringList links;
    for (qsizetype i = 0; i < std::min(list.size(), MaximumButtons); ++i) {
        const QJsonObject action = list.at(i).toObject();
        const QJsonValue label = action.value(QLatin1String("label"));
        alert.buttons << (label.isString() && !label.toString().isEmpty() ? label.toString() : OKLabel);
        const QJsonValue url = action.value(QLatin1String("url"));
        links << (url.isString() ? url.toString() : QString());
    }
    const AlertResult answer = m_env.alerts.runModal(alert);
    if (answer.button >= 0 && answer.button < links.size() && !links.at(answer.button).isEmpty())
        openServiceLink(links.at(answer.button));
}

void AppPolicy::openServiceLink(const QString& link)
{
    if (const std::optional<QUrl> url = m_env.client.resolveServiceLink(link))
        m_env.workspace.openUrl(*url);
}

void AppPolicy::later(std::function<void()> task)
{
    std::weak_ptr<int> alive = m_lifetime;
    m_env.scheduler.post([alive, task = std::move(task)] {
        if (!alive.expired())
            task();
    });
}

int AppPolicy::compareVersions(const QString& a, const QString& b)
{
    const QStringList left = versionNumbers(a);
    const QStringList right = versionNumbers(b);
    const QString zero = QStringLiteral("0");
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const int order = compareNumbers(i < left.size() ? left.at(i) : zero, i < right.size() ? right.at(i) : zero);
        if (order != 0)
            return order;
    }
    return 0;
}
