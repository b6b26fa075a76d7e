#include "app/AppResources.h"
#include "app/cli/Commands.h"
#include "app/cli/AccessFiles.h"
#include "app/cli/Output.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

namespace cli {
namespace {

bool installFile(const QString& source, const QString& target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        err() << "velotap install-udev-rule: cannot read " << source << ": " << in.errorString() << "\n";
        return false;
    }
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
        err() << "velotap install-udev-rule: cannot create " << QFileInfo(target).absolutePath() << "\n";
        return false;
    }
    // Replaced in one step, so udev never reads half a rule.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(in.readAll()) < 0 || !file.commit()) {
        err() << "velotap install-udev-rule: cannot write " << target << ": " << file.errorString()
              << " (run it as root: sudo velotap install-udev-rule)\n";
        return false;
    }
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    out() << "installed " << target << "\n";
    return true;
}

// Module names of a modules-load.d file: one per line, '#' and ';' start comments.
QStringList modulesIn(const QString& path)
{
    QFile file(path);
    QStringList modules;
    if (!file.open(QIODevice::ReadOnly))
        return modules;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line).trimmed();
        if (!name.isEmpty() && !name.startsWith(QLatin1Char('#')) && !name.startsWith(QLatin1Char(';')))
            modules << name;
    }
    return modules;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        err() << "velotap install-udev-rule: " << program << " " << arguments.join(QLatin1Char(' ')) << " failed"
              << (process.error() == QProcess::FailedToStart ? QStringLiteral(" (not found)") : QString()) << "\n";
        return false;
    }
    return true;
}

} // namespace

int installUdevRule(const QStringList& args)
{
    // --destdir DIR stages the files under DIR (packaging, tests) and leaves udev alone.
    QString destdir;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--destdir") && i + 1 < args.size()) {
            destdir = args[++i];
            continue;
        }
        err() << "usage: velotap install-udev-rule [--destdir DIR]\n";
        return 2;
    }

    QStringList modules;
    for (const AccessFile& file : kAccessFiles) {
        const QString source = AppResources::path(QString::fromUtf8(file.relativePath));
        const QString target = destdir + QString::fromUtf8(file.directory) + QLatin1Char('/') + QFileInfo(source).fileName();
        if (!installFile(source, target))
            return 1;
        if (QString::fromUtf8(file.directory).endsWith(QLatin1String("modules-load.d")))
            modules << modulesIn(target);
    }
    if (!destdir.isEmpty())
        return 0;

    bool ok = true;
    for (const QString& module : modules)
        ok = run(QStringLiteral("modprobe"), {module}) && ok;
    // The rule applies to the devices present now, not only to the next plug-in.
    ok = run(QStringLiteral("udevadm"), {QStringLiteral("control"), QStringLiteral("--reload")}) && ok;
    ok = run(QStringLiteral("udevadm"), {QStringLiteral("trigger"), QStringLiteral("--subsystem-match=hidraw"),
                                         QStringLiteral("--subsystem-match=input"), QStringLiteral("--subsystem-match=misc")})
        && ok;
    if (!ok) {
        err() << "velotap install-udev-rule: the rule is installed but udev did not reload; unplug and replug the "
                 "display, or log out and in again\n";
        return 1;
    }
    out() << "udev rules reloaded; touch displays are accessible to the user at the seat\n";
    return 0;
}

} // namespace cli
