#include "platform/linux/PkexecPermissionHelper.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QProcess>

Q_LOGGING_CATEGORY(lcPermissions, "velotap.permissions")

namespace {

// pkexec's exit status when the user dismissed the prompt or was refused.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;

} // namespace

PkexecPermissionHelper::PkexecPermissionHelper(QString program, QStringList arguments, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_arguments(std::move(arguments))
{
}

QStringList PkexecPermissionHelper::installCommand()
{
    return {QCoreApplication::applicationFilePath(), QStringLiteral("install-udev-rule")};
}

void PkexecPermissionHelper::requestAccess(const QStringList& missingPermissionNames)
{
    if (m_process)
        return; // one prompt at a time
    qCInfo(lcPermissions).noquote() << "Velotap asks to install its udev rule for"
                                    << missingPermissionNames.join(QStringLiteral(", "));
    m_process = new QProcess(this);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            done(false, QStringLiteral("%1 could not be started (%2); run \"sudo velotap install-udev-rule\" instead")
                            .arg(m_program, m_process->errorString()));
    });
    connect(m_process, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && exitCode == 0)
            done(true, QStringLiteral("the udev rule is installed"));
        else if (exitCode == kPkexecDismissed || exitCode == kPkexecNotAuthorized)
            done(false, QStringLiteral("installing the udev rule was not authorised"));
        else
            done(false, QStringLiteral("installing the udev rule failed (exit status %1)").arg(exitCode));
    });
    m_process->start(m_program, m_arguments);
}

void PkexecPermissionHelper::done(bool installed, const QString& message)
{
    if (!m_process)
        return;
    qCInfo(lcPermissions).noquote() << "Velotap:" << message;
    m_process->deleteLater();
    m_process = nullptr;
    if (m_finished)
        m_finished(installed);
}
