#include "tests/support/ReferenceService.h"

#include "tests/support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QSaveFile>

#include <csignal>

ReferenceService::ReferenceService(const QJsonObject& policy)
{
    setPolicy(policy);
    start();
}

ReferenceService::~ReferenceService() = default;

QString ReferenceService::executable() { return QStringLiteral(VELOTAP_SERVICE_EXECUTABLE); }

bool ReferenceService::start()
{
    m_process = std::make_unique<ChildProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->start(executable(), {QStringLiteral("--db"), databasePath(), QStringLiteral("--policy"),
                                    m_dir.filePath(QStringLiteral("policy.json")), QStringLiteral("--listen"),
                                    QStringLiteral("127.0.0.1:0")});
    // The first line names the port once the socket is bound.
    QByteArray line;
    const QDeadlineTimer deadline(10000);
    while (!line.contains('\n') && !deadline.hasExpired() && m_process->state() != QProcess::NotRunning) {
        m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        line += m_process->readAllStandardOutput();
    }
    const qsizetype colon = line.lastIndexOf(':');
    m_port = colon > 0 ? line.mid(colon + 1).trimmed().toUShort() : 0;
    if (m_port == 0) {
        m_error = QStringLiteral("velotap-service did not start: %1 %2")
                      .arg(QString::fromUtf8(line), QString::fromUtf8(m_process->readAllStandardError()));
        return false;
    }
    return true;
}

void ReferenceService::kill()
{
    // The id of a process that is gone is 0, and kill(0, ...) hits our whole group.
    if (!m_process || m_process->processId() <= 0)
        return;
    ::kill(static_cast<pid_t>(m_process->processId()), SIGKILL);
    m_process->waitForFinished(5000);
}

void ReferenceService::stop()
{
    m_process.reset();
}

bool ReferenceService::isRunning() const { return m_process && m_process->state() == QProcess::Running && m_port; }

QString ReferenceService::baseURL() const { return QStringLiteral("http://127.0.0.1:%1/api/v1").arg(m_port); }

void ReferenceService::setPolicy(const QJsonObject& policy) { setPolicyText(QJsonDocument(policy).toJson()); }

void ReferenceService::setPolicyText(const QByteArray& text)
{
    QSaveFile file(m_dir.filePath(QStringLiteral("policy.json")));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    file.commit();
}

int ReferenceService::runCommand(const QStringList& arguments, QByteArray* out, QByteArray* err)
{
    QProcess process;
    process.start(executable(), arguments);
    if (!process.waitForFinished(30000))
        return -1;
    if (out)
        *out = process.readAllStandardOutput();
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QList<QJsonObject> ReferenceService::records(const QString& command, const QString& since) const
{
    QStringList arguments{command, QStringLiteral("--db"), databasePath()};
    if (!since.isEmpty())
        arguments << QStringLiteral("--since") << since;
    QByteArray out;
    QList<QJsonObject> rows;
    if (runCommand(arguments, &out) != 0)
        return rows;
    for (const QByteArray& line : out.split('\n')) {
        if (!line.isEmpty())
            rows << QJsonDocument::fromJson(line).object();
    }
    return rows;
}

QList<QJsonObject> ReferenceService::reports(const QString& since) const
{
    return records(QStringLiteral("reports"), since);
}

QList<QJsonObject> ReferenceService::checks(const QString& since) const
{
    return records(QStringLiteral("checks"), since);
}
