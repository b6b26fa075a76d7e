#include "tests/support/DbusDaemon.h"

#include "tests/support/ChildProcess.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// Everyone may own and call anything; service activation gives up quickly.
QByteArray config(DbusDaemon::Type type, const QString& directory)
{
    return QByteArrayLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n  <type>")
        + (type == DbusDaemon::Type::System ? "system" : "session") + "</type>\n  <listen>unix:dir="
        + directory.toUtf8()
        + "</listen>\n  <auth>EXTERNAL</auth>\n  <limit name=\"service_start_timeout\">2000</limit>\n"
          "  <policy context=\"default\">\n    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n    <allow eavesdrop=\"true\"/>\n"
          "  </policy>\n</busconfig>\n";
}

} // namespace

DbusDaemon::DbusDaemon(Type type)
    : m_dir(std::make_unique<QTemporaryDir>()), m_process(std::make_unique<ChildProcess>())
{
    const QString configPath = m_dir->filePath(QStringLiteral("bus.conf"));
    QFile file(configPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(config(type, m_dir->path())) < 0) {
        m_error = QStringLiteral("cannot write the bus configuration");
        return;
    }
    file.close();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                      QStringLiteral("--print-address=1")});
    if (!m_process->waitForStarted(10000)) {
        m_error = QStringLiteral("dbus-daemon did not start: ") + m_process->errorString();
        return;
    }
    while (!m_process->canReadLine() && m_process->waitForReadyRead(10000)) {
    }
    m_address = m_process->readLine().trimmed();
    if (m_address.isEmpty())
        m_error = QStringLiteral("dbus-daemon printed no address");
}

DbusDaemon::~DbusDaemon() = default;
