#include "app/cli/CommandLine.h"

#include "app/cli/Commands.h"
#include "app/cli/Output.h"

#include <QCoreApplication>

#include <iterator>

namespace cli {
namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList&);
    const char* synopsis;
};

const Command kCommands[] = {
    {"describe", describe, "describe SOURCE              print the touch layout of a report descriptor"},
    {"decode", decode, "decode SOURCE [REPORT...]    print the debug text of input reports"},
    {"defaults", defaults, "defaults read|write|delete   read and change the stored settings"},
    {"devices", devices, "devices                      list connected touch devices"},
    {"record", record, "record [DEVICE]              record a device's reports in hid-recorder format"},
    {"replay", replay, "replay FILE [--dry-run]      feed a recording through the touch pipeline"},
    {"install-udev-rule", installUdevRule, "install-udev-rule            give the user at the seat access to touch displays (as root)"},
};

} // namespace

QString usage()
{
    QString text = QStringLiteral("usage: velotap [--simulate-first-install]   start the application (status menu)\n"
                                  "       velotap --debug-reports              open the debug reports window (starting\n"
                                  "                                            the application when it is not running)\n"
                                  "       velotap --toggle-pointer             hide the pointer, or show it again\n"
                                  "       velotap COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& command : kCommands)
        text += QStringLiteral("  %1\n").arg(QString::fromUtf8(command.synopsis));
    text += QStringLiteral("\nSOURCE is a hex string, a file of raw descriptor bytes or a hid-recorder recording.\n");
    return text;
}

int run(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        out() << usage();
        return 0;
    }
    const QString name = arguments.first();
    if (name == QLatin1String("help") || name == QLatin1String("--help") || name == QLatin1String("-h")) {
        out() << usage();
        return 0;
    }
    if (name == QLatin1String("--version")) {
        out() << QCoreApplication::applicationName() << " " << QCoreApplication::applicationVersion() << "\n";
        return 0;
    }
    for (const Command& command : kCommands) {
        if (name == QLatin1String(command.name))
            return command.run(arguments.mid(1));
    }
    err() << "velotap: unknown command '" << name << "'\n\n" << usage();
    return 2;
}

} // namespace cli
