#pragma once
#include "settings_ui/LoginItem.h"

#include <QString>

// Start at login as the desktops do it: a desktop entry in the user's
// autostart folder ($XDG_CONFIG_HOME/autostart). Turning it off removes the
// entry; an entry the desktop's own tool switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false) counts as off.
class XdgAutostartEntry final : public LoginItem {
public:
    // The entry for `program` in `autostartDirectory`.
    XdgAutostartEntry(QString autostartDirectory, QString program);
    // The user's autostart folder, for the running executable.
    static XdgAutostartEntry forCurrentUser();

    QString filePath() const;
    bool isEnabled() const override;
    std::optional<VTError> setEnabled(bool enabled) override;

    // The Exec line's program, quoted as desktop entries need it.
    static QString quotedExec(const QString& program);

private:
    QString m_directory;
    QString m_program;
};
