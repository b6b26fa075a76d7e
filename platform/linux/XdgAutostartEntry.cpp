#include "platform/linux/XdgAutostartEntry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const QString kFileName = QStringLiteral("velotap.desktop");

VTError autostartError(const QString& description)
{
    return VTError::velotap(1, description);
}

} // namespace

XdgAutostartEntry::XdgAutostartEntry(QString autostartDirectory, QString program)
    : m_directory(std::move(autostartDirectory))
    , m_program(std::move(program))
{
}

XdgAutostartEntry XdgAutostartEntry::forCurrentUser()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return XdgAutostartEntry(config + QStringLiteral("/autostart"), QCoreApplication::applicationFilePath());
}

QString XdgAutostartEntry::filePath() const
{
    return m_directory + QLatin1Char('/') + kFileName;
}

bool XdgAutostartEntry::isEnabled() const
{
    QFile file(filePath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        const int equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

QString XdgAutostartEntry::quotedExec(const QString& program)
{
    // Inside quotes, ", `, $ and \ are escaped with a backslash; % is doubled
    // everywhere, since field codes start with it.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    // A desktop entry is read with its own escapes first, so each backslash doubles again.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

std::optional<VTError> XdgAutostartEntry::setEnabled(bool enabled)
{
    if (!enabled) {
        QFile file(filePath());
        if (file.exists() && !file.remove())
            return autostartError(QStringLiteral("Could not remove %1: %2").arg(filePath(), file.errorString()));
        return std::nullopt;
    }
    if (m_program.isEmpty())
        return autostartError(QStringLiteral("The program's own path is unknown"));
    if (!QDir().mkpath(m_directory))
        return autostartError(QStringLiteral("Could not create %1").arg(m_directory));
    QSaveFile file(filePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return autostartError(QStringLiteral("Could not write %1: %2").arg(filePath(), file.errorString()));
    const QString entry = QStringLiteral(
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Velotap\n"
        "Comment=Touch display input\n"
        "Exec=%1\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n").arg(quotedExec(m_program));
    file.write(entry.toUtf8());
    if (!file.commit())
        return autostartError(QStringLiteral("Could not write %1: %2").arg(filePath(), file.errorString()));
    return std::nullopt;
}
