#include "app/cli/Commands.h"
#include "app/cli/DeviceListing.h"
#include "app/cli/Output.h"

#include "base/UserDefaults.h"
#include "platform/linux/SysfsHidDeviceSource.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecordingWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>


namespace cli {
namespace {

// The device DEVICE names: a node (/dev/hidraw3 or hidraw3), a stored
// signature, or nothing for the device touch would choose on its own.
std::optional<HidDeviceInfo> findDevice(const std::vector<HidDeviceInfo>& all, const QString& wanted, QString* problem)
{
    if (wanted.isEmpty()) {
        if (std::optional<HidDeviceInfo> device = automaticDeviceChoice(all))
            return device;
        *problem = QStringLiteral("no touch display found; name one of `velotap devices`");
        return std::nullopt;
    }
    for (const HidDeviceInfo& device : all) {
        if (device.node == wanted || QFileInfo(device.node).fileName() == wanted || deviceSignature(device) == wanted)
            return device;
    }
    *problem = QStringLiteral("no HID device '%1'").arg(wanted);
    return std::nullopt;
}

} // namespace

int devices(const QStringList& args)
{
    bool json = false;
    for (const QString& arg : args) {
        if (arg != QLatin1String("--json")) {
            err() << "velotap devices: unknown option '" << printable(arg) << "'\nusage: velotap devices [--json]\n";
            return 2;
        }
        json = true;
    }
    SysfsHidDeviceSource source;
    const DeviceListing listing(source.devices(), [&](const HidDeviceInfo& device) { return source.canRead(device); },
                                UserDefaults::standard().stringValue(SettingsKey::DeviceSelection),
                                [&](const HidDeviceInfo& device) { return source.probeInputNodes(device.node); });
    if (json)
        out() << QJsonDocument(listing.json()).toJson(QJsonDocument::Indented);
    else
        out() << listing.text();
    out().flush();
    return 0;
}

int record(const QStringList& args)
{
    QString wanted;
    QString outputPath;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("-o") || args[i] == QLatin1String("--output")) {
            if (++i >= args.size()) {
                err() << "velotap record: -o needs a file name\n";
                return 2;
            }
            outputPath = args[i];
        } else if (args[i].startsWith(QLatin1Char('-'))) {
            err() << "usage: velotap record [DEVICE] [-o FILE]\n";
            return 2;
        } else {
            wanted = args[i];
        }
    }

    SysfsHidDeviceSource source;
    QString problem;
    const std::optional<HidDeviceInfo> device = findDevice(source.devices(), wanted, &problem);
    if (!device) {
        err() << "velotap record: " << problem << "\n";
        return 1;
    }

    QFile output;
    const bool toFile = !outputPath.isEmpty();
    if (toFile) {
        output.setFileName(outputPath);
        if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            err() << "velotap record: cannot write " << outputPath << ": " << output.errorString() << "\n";
            return 2;
        }
    } else if (!output.open(stdout, QIODevice::WriteOnly)) {
        return 2;
    }

    const HidRecordingHeader header = hidRecordingHeaderFor(*device);
    output.write(hidRecordingHeaderText(header));
    output.flush();

    // Each line is flushed as it is written, so Ctrl-C loses nothing.
    QElapsedTimer clock;
    int reports = 0;
    HidDeviceSource::OpenFailure failure = HidDeviceSource::OpenFailure::None;
    int errorNumber = 0;
    HidDeviceSource::OpenOptions options;
    options.grabKernelInput = false; // recording watches, the desktop keeps working
    auto stream = source.open(*device, options, [&](const std::uint8_t* report, int length) {
        if (!clock.isValid())
            clock.start();
        output.write(hidRecordingEventLine(double(clock.nsecsElapsed()) / 1e9, report, length));
        output.flush();
        ++reports;
    }, [&] {
        err() << "velotap record: the device went away after " << reports << " reports\n";
        err().flush();
        QCoreApplication::exit(0);
    }, &failure, &errorNumber);
    if (!stream) {
        err() << "velotap record: cannot open " << device->node << ": " << qt_error_string(errorNumber)
              << (failure == HidDeviceSource::OpenFailure::PermissionDenied ? " (see the udev rule in the README)" : "")
              << "\n";
        return 1;
    }
    err() << "Recording " << device->node << " (" << header.name << "); touch the display, Ctrl-C to stop\n";
    err().flush();
    return QCoreApplication::exec();
}

} // namespace cli
