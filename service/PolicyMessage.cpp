#include "service/PolicyMessage.h"

namespace {

QString stringOrEmpty(const QJsonObject& object, QLatin1String key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

PolicyMessage PolicyMessage::fromJson(const QJsonObject& message)
{
    PolicyMessage m;
    if (const QString show = stringOrEmpty(message, QLatin1String("show")); !show.isEmpty())
        m.showMode = show.toLower();
    else if (message.value(QLatin1String("show_on_launch")).toBool(false))
        m.showMode = QStringLiteral("always");

    m.title = stringOrEmpty(message, QLatin1String("title"));
    m.text = stringOrEmpty(message, QLatin1String("message"));
    if (m.text.isEmpty())
        m.text = stringOrEmpty(message, QLatin1String("body"));

    m.identity = stringOrEmpty(message, QLatin1String("id"));
    if (m.identity.isEmpty())
        m.identity = m.title + QLatin1Char('\n') + m.text;

    m.kind = stringOrEmpty(message, QLatin1String("type")).toLower();
    if (m.kind.isEmpty())
        m.kind = stringOrEmpty(message, QLatin1String("presentation")).toLower();

    m.actions = message.value(QLatin1String("actions")).toArray();
    m.link = stringOrEmpty(message, QLatin1String("url"));
    for (qsizetype i = 0; m.link.isEmpty() && i < m.actions.size(); ++i)
        m.link = stringOrEmpty(m.actions.at(i).toObject(), QLatin1String("url"));
    return m;
}

bool PolicyMessage::isNotification() const
{
    return kind == QLatin1String("notification") || kind == QLatin1String("balloon");
}
