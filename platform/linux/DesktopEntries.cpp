#include "platform/linux/DesktopEntries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <QStandardPaths>

namespace {

QString unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        switch (value.at(++i).unicode()) {
        case 's': out += QLatin1Char(' '); break;
        case 'n': out += QLatin1Char('\n'); break;
        case 't': out += QLatin1Char('\t'); break;
        case 'r': out += QLatin1Char('\r'); break;
        default: out += value.at(i); break;
        }
    }
    return out;
}

} // namespace

DesktopEntries::DesktopEntries(QStringList applicationDirs, QString locale)
    : m_dirs(std::move(applicationDirs)), m_locale(locale.isEmpty() ? QLocale::system().name() : std::move(locale))
{
}

QStringList DesktopEntries::standardApplicationDirs()
{
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (dataDirs.isEmpty())
        dataDirs = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
    QStringList dirs{home + QStringLiteral("/applications")};
    for (const QString& dir : dataDirs)
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

std::optional<DesktopEntry> DesktopEntries::parse(const QByteArray& content, const QString& id, const QString& locale)
{
    // Name[de_DE] before Name[de] before Name.
    const QString language = locale.section(QLatin1Char('_'), 0, 0);
    const QString fullKey = QStringLiteral("Name[%1]").arg(locale.section(QLatin1Char('.'), 0, 0));
    const QString languageKey = QStringLiteral("Name[%1]").arg(language);
    DesktopEntry entry{id, {}, {}};
    QString fullName, languageName, type;
    bool inMainGroup = false;
    for (const QByteArray& rawLine : content.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = unescape(line.mid(equals + 1).trimmed());
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == fullKey)
            fullName = value;
        else if (key == languageKey)
            languageName = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWMClass = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Hidden") && value == QLatin1String("true"))
            return std::nullopt;
    }
    if (type != QLatin1String("Application"))
        return std::nullopt;
    if (!fullName.isEmpty())
        entry.name = fullName;
    else if (!languageName.isEmpty())
        entry.name = languageName;
    return entry;
}

void DesktopEntries::reloadIfChanged() const
{
    std::vector<QDateTime> stamps;
    for (const QString& dir : m_dirs)
        stamps.push_back(QFileInfo(dir).lastModified());
    if (stamps == m_stamps && !m_entries.empty())
        return;
    m_stamps = std::move(stamps);
    m_entries.clear();
    QSet<QString> seen;
    for (const QString& dir : m_dirs) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString id = QDir(dir).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (seen.contains(id))
                continue;
            seen.insert(id);
            QFile file(path);
            // Entries are small; anything huge is not one.
            if (file.size() > 1024 * 1024 || !file.open(QIODevice::ReadOnly))
                continue;
            if (std::optional<DesktopEntry> entry = parse(file.readAll(), id, m_locale))
                m_entries.push_back(std::move(*entry));
        }
    }
}

std::optional<DesktopEntry> DesktopEntries::find(const QString& wmClass, const QString& wmInstance,
                                                 const QString& applicationId) const
{
    reloadIfChanged();
    const auto firstWhere = [this](auto predicate) -> std::optional<DesktopEntry> {
        for (const DesktopEntry& entry : m_entries) {
            if (predicate(entry))
                return entry;
        }
        return std::nullopt;
    };
    for (const QString& name : {wmClass, wmInstance}) {
        if (name.isEmpty())
            continue;
        if (auto entry = firstWhere([&](const DesktopEntry& e) {
                return !e.startupWMClass.isEmpty() && e.startupWMClass.compare(name, Qt::CaseInsensitive) == 0;
            }))
            return entry;
    }
    for (const QString& name : {applicationId, wmClass, wmInstance}) {
        if (name.isEmpty())
            continue;
        if (auto entry = firstWhere([&](const DesktopEntry& e) { return e.id.compare(name, Qt::CaseInsensitive) == 0; }))
            return entry;
    }
    return std::nullopt;
}
