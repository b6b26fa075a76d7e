#pragma once
#include "app/PermissionHelper.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;

// Grants access the Linux way: installs the program's udev rule as root
// through pkexec, which asks for an administrator's password with the
// desktop's own polkit prompt.
class PkexecPermissionHelper final : public QObject, public PermissionHelper {
    Q_OBJECT
public:
    // program: pkexec; arguments: the command pkexec runs (an absolute path first).
    PkexecPermissionHelper(QString program, QStringList arguments, QObject* parent = nullptr);
    // pkexec running this executable's install-udev-rule command.
    static QStringList installCommand();

    void requestAccess(const QStringList& missingPermissionNames) override;
    // Called with true when the rule was installed, false otherwise.
    void setFinishedHandler(std::function<void(bool installed)> handler) { m_finished = std::move(handler); }

private:
    QString m_program;
    QStringList m_arguments;
    QProcess* m_process = nullptr;
    std::function<void(bool)> m_finished;

    void done(bool installed, const QString& message);
};
