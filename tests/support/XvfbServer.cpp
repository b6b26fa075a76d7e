#include "tests/support/XvfbServer.h"

#include "tests/support/ChildProcess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

XvfbServer::XvfbServer(int width, int height) : m_process(std::make_unique<ChildProcess>())
{
    m_process->setStandardErrorFile(QProcess::nullDevice());
    // Xvfb writes the display number and a newline to fd 1 once it accepts clients.
    m_process->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-screen"),
                                              QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height)});
    const QDeadlineTimer deadline(20000);
    while (!m_process->canReadLine() && !deadline.hasExpired() && m_process->state() != QProcess::NotRunning)
        m_process->waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray number = m_process->canReadLine() ? m_process->readLine().trimmed() : QByteArray();
    if (number.isEmpty())
        m_error = QStringLiteral("Xvfb did not start: ") + m_process->errorString();
    else
        m_displayName = ':' + number;
}

XvfbServer::~XvfbServer() = default;

int XvfbServer::runClient(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_displayName));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
