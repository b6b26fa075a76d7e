#include "service/UpdateCheck.h"

#include "service/AppPolicy.h"

void UpdateCheck::checkForUpdates()
{
    const QString latest =
        m_policy.policyStringAtPath({QStringLiteral("version_policy"), QStringLiteral("latest_version")})
            .value_or(QString());
    const QString download =
        m_policy.policyStringAtPath({QStringLiteral("version_policy"), QStringLiteral("download_url")})
            .value_or(QString());

    QString title = QStringLiteral("You are using the latest version");
    QString text;
    if (m_policy.updateAvailable()) {
        title = QStringLiteral("A newer version is available");
        text = QStringLiteral("Version %1 is ready to download.").arg(latest);
    }
    const QJsonObject ok{{"label", QStringLiteral("OK")}, {"dismiss", true}};
    const QJsonArray actions = download.isEmpty()
        ? QJsonArray{ok}
        : QJsonArray{QJsonObject{{"label", QStringLiteral("Download")}, {"url", download}}, ok};
    m_policy.showActionAlert(title, text, actions);
}
