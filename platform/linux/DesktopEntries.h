#pragma once
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a desktop entry (.desktop file) says about an application.
struct DesktopEntry {
    QString id;   // "org.gnome.Nautilus", "kde4-kate": the path under applications/, '/' as '-'
    QString name; // Name, localised where the entry has the user's language
    QString startupWMClass;
};

// The installed applications' desktop entries, for naming the application
// that owns a window. Directories listed first win, as on the desktop.
// Reread when a directory changes.
class DesktopEntries {
public:
    explicit DesktopEntries(QStringList applicationDirs = standardApplicationDirs(),
                            QString locale = QString());

    // $XDG_DATA_HOME/applications, then each of $XDG_DATA_DIRS/applications.
    static QStringList standardApplicationDirs();
    // Reads one entry; none when it is not an application entry or is hidden.
    static std::optional<DesktopEntry> parse(const QByteArray& content, const QString& id, const QString& locale);

    // The entry of a window, from its WM_CLASS (class and instance) and its
    // GTK application id: by StartupWMClass, then by desktop id.
    std::optional<DesktopEntry> find(const QString& wmClass, const QString& wmInstance,
                                     const QString& applicationId) const;

private:
    void reloadIfChanged() const;

    QStringList m_dirs;
    QString m_locale;
    mutable std::vector<QDateTime> m_stamps;
    mutable std::vector<DesktopEntry> m_entries;
};
