#include "app/cli/Commands.h"
#include "app/cli/DeviceListing.h"
#include "app/cli/Output.h"

#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/QtScheduler.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "gestures/VTGestureEngine.h"
#include "platform/linux/SysfsHidDeviceSource.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "platform/linux/EventSinkFactory.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/HidRecording.h"
#include "touch/HidRecordingWriter.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace cli {
namespace {

// One monitor at fixed bounds: the dry run's desktop, or the one --display names.
class FixedDisplayServices final : public DisplayServices {
public:
    explicit FixedDisplayServices(QRectF bounds) : m_bounds(bounds) {}
    std::vector<DisplayID> activeDisplays() const override { return {1}; }
    DisplayID mainDisplay() const override { return 1; }
    QRectF displayBounds(DisplayID id) const override { return id == 1 ? m_bounds : QRectF(); }
    QSize displayPixelSize(DisplayID id) const override { return id == 1 ? m_bounds.size().toSize() : QSize(); }

private:
    QRectF m_bounds;
};

// "1920x1080+0+0" (offsets may be negative).
std::optional<QRectF> parseGeometry(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)x(\\d+)([+-]\\d+)([+-]\\d+)$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch() || m.captured(1).toInt() <= 0 || m.captured(2).toInt() <= 0)
        return std::nullopt;
    return QRectF(m.captured(3).toInt(), m.captured(4).toInt(), m.captured(1).toInt(), m.captured(2).toInt());
}

// What each touch of a dry run did, told in a line each at the end: a touch
// runs from the first contact to the next first contact, so the events
// posted after the lift (a pending click, inertia) still count for it.
class TouchSummary {
public:
    // True when these contacts begin a touch.
    bool contacts(double time, const QVariantList& list)
    {
        const bool began = !list.isEmpty() && m_previousCount == 0;
        if (began)
            m_touches.push_back(Touch{time, -1, 0, {}, {}, 0});
        if (!m_touches.empty()) {
            Touch& touch = m_touches.back();
            if (list.isEmpty() && m_previousCount > 0)
                touch.lift = time;
            if (list.size() > touch.mostContacts) {
                touch.mostContacts = int(list.size());
                touch.kind = list.first().toMap().value(QStringLiteral("kindName")).toString();
            }
        }
        m_previousCount = int(list.size());
        return began;
    }

    int touchCount() const { return int(m_touches.size()); }

    void event(double time, const QString& line)
    {
        if (m_touches.empty())
            return;
        Touch& touch = m_touches.back();
        touch.events << line;
        if (touch.lift >= 0 && time > touch.lift && line.contains(QLatin1String("scroll wheel")))
            ++touch.coasting;
    }

    QStringList lines() const
    {
        QStringList result;
        for (std::size_t i = 0; i < m_touches.size(); ++i) {
            const Touch& touch = m_touches[i];
            const QString input = touch.mostContacts > 1 ? QStringLiteral("%1 fingers").arg(touch.mostContacts) : touch.kind;
            result << QStringLiteral("touch %1 at %2 s  %3  %4")
                          .arg(i + 1, 2)
                          .arg(touch.start, 5, 'f', 2)
                          .arg(input, -9)
                          .arg(gesture(touch));
        }
        return result;
    }

private:
    struct Touch {
        double start = 0;
        double lift = -1;
        int mostContacts = 0;
        QString kind;
        QStringList events;
        int coasting = 0;
    };
    std::vector<Touch> m_touches;
    int m_previousCount = 0;

    static QString gesture(const Touch& touch)
    {
        const auto count = [&](QLatin1String what) {
            return std::count_if(touch.events.begin(), touch.events.end(), [&](const QString& l) { return l.contains(what); });
        };
        if (const auto magnify = count(QLatin1String("magnify")))
            return QStringLiteral("pinch: %1 magnify events").arg(magnify);
        if (const auto wheels = count(QLatin1String("scroll wheel"))) {
            QString text = QStringLiteral("scroll: %1 wheel events").arg(wheels - touch.coasting);
            if (touch.coasting > 0)
                text += QStringLiteral(", then %1 more coasting with inertia").arg(touch.coasting);
            return text;
        }
        if (count(QLatin1String("right-down")))
            return QStringLiteral("right click");
        if (count(QLatin1String("other-down")))
            return QStringLiteral("middle click");
        if (const auto drags = count(QLatin1String("left-dragged")))
            return QStringLiteral("drag: %1 moves with the left button down").arg(drags);
        if (count(QLatin1String("click=2")))
            return QStringLiteral("double click");
        if (count(QLatin1String("left-down")))
            return QStringLiteral("click");
        if (touch.events.isEmpty())
            return QStringLiteral("no event");
        return touch.events.size() == 1 ? QStringLiteral("1 event") : QStringLiteral("%1 events").arg(touch.events.size());
    }
};

// The device DEVICE names: a node (/dev/hidraw3 or hidraw3), a stored
// signature, or nothing for the device touch would choose on its own.
std::optional<HidDeviceInfo> findDevice(const std::vector<HidDeviceInfo>& all, const QString& wanted, QString* problem)
{
    if (wanted.isEmpty()) {
        const std::vector<HidDeviceInfo> matched = matchingDevices(all, QStringLiteral("auto"));
        QString status;
        const DeviceChoice choice = chooseDevice(matched, QStringLiteral("auto"), status);
        if (choice.index >= 0)
            return matched[std::size_t(choice.index)];
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

int replay(const QStringList& args)
{
    QString path;
    bool dryRun = false;
    std::optional<QRectF> display;
    QList<QPair<QString, QString>> settings;
    bool quiet = false;
    const QString usageText = QStringLiteral(
        "usage: velotap replay FILE [--dry-run] [--display WxH+X+Y] [--set KEY=VALUE]... [--events-only]\n");
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--dry-run")) {
            dryRun = true;
        } else if (a == QLatin1String("--events-only")) {
            quiet = true;
        } else if (a == QLatin1String("--display") && i + 1 < args.size()) {
            display = parseGeometry(args[++i]);
            if (!display) {
                err() << "velotap replay: --display wants WxH+X+Y, e.g. 1920x1080+0+0\n";
                return 2;
            }
        } else if (a == QLatin1String("--set") && i + 1 < args.size()) {
            const QString setting = args[++i];
            const qsizetype eq = setting.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                err() << "velotap replay: --set wants KEY=VALUE\n";
                return 2;
            }
            settings.append({setting.left(eq), setting.mid(eq + 1)});
        } else if (!a.startsWith(QLatin1Char('-')) && path.isEmpty()) {
            path = a;
        } else {
            err() << usageText;
            return 2;
        }
    }
    if (path.isEmpty()) {
        err() << usageText;
        return 2;
    }

    QString error;
    std::optional<HidRecording> recording = readHidRecordingFile(path, &error);
    if (!recording) {
        err() << "velotap replay: " << path << ": " << error << "\n";
        return 2;
    }
    const qsizetype reportCount = recording->reports.size();
    const double duration = reportCount > 0 ? recording->reports.last().timestamp - recording->reports.first().timestamp : 0;

    // The replay's own settings: the registered defaults (a dry run is the
    // same everywhere) or, for real, a copy of the user's; never written back.
    QTemporaryDir settingsDir;
    UserDefaults defaults(settingsDir.path());
    if (!dryRun) {
        const QJsonObject stored = UserDefaults::standard().storedValues();
        for (auto it = stored.begin(); it != stored.end(); ++it)
            defaults.setValue(it.key(), it.value());
    }
    NotificationCenter center;
    SettingsStore store(defaults, center);
    store.registerDefaults();
    for (const auto& [key, text] : settings) {
        bool isNumber = false;
        const double number = text.toDouble(&isNumber);
        const QJsonValue value = isNumber ? QJsonValue(number)
                                 : text == QLatin1String("true") || text == QLatin1String("false") ? QJsonValue(text == QLatin1String("true"))
                                                                                                 : QJsonValue(text);
        if (std::optional<VTError> failed = store.setSettingValue(key, value)) {
            err() << "velotap replay: " << key << ": " << failed->description << "\n";
            return 2;
        }
    }
    store.setSettingValue(SettingsKey::DisplaySelection, QStringLiteral("auto"));

    std::unique_ptr<Scheduler> scheduler;
    ManualScheduler* manual = nullptr;
    if (dryRun) {
        auto clock = std::make_unique<ManualScheduler>(0.0);
        manual = clock.get();
        scheduler = std::move(clock);
    } else {
        scheduler = std::make_unique<QtScheduler>();
    }

    std::unique_ptr<DisplayServices> displays;
    if (display || dryRun) {
        displays = std::make_unique<FixedDisplayServices>(display.value_or(QRectF(0, 0, 1920, 1080)));
    } else {
        QString displayError;
        displays = XRandrDisplayServices::open(&displayError);
        if (!displays) {
            err() << "velotap replay: " << displayError << " (use --dry-run or --display)\n";
            return 1;
        }
    }

    std::unique_ptr<EventSink> sink;
    TraceEventSink* trace = nullptr;
    if (dryRun) {
        auto traceSink = std::make_unique<TraceEventSink>(*scheduler);
        traceSink->setKeepsLines(false);
        trace = traceSink.get();
        sink = std::move(traceSink);
    } else {
        EventSinkFactory::Result created = EventSinkFactory::create(defaults, *scheduler, *displays);
        if (!created.sink) {
            err() << "velotap replay: cannot post input: "
                  << (created.error ? created.error->description : QStringLiteral("no way to reach the desktop"))
                  << " (use --dry-run)\n";
            return 1;
        }
        sink = std::move(created.sink);
    }

    RecordingDeviceSource source(*recording, *scheduler);
    store.setSettingValue(SettingsKey::DeviceSelection, deviceSignature(source.device()));
    VTTouchBridge bridge({source, *sink, *scheduler, store, *displays, center, 0.5, {}});

    // The decoded reports, a run of identical ones shown once.
    QString lastText;
    int repeats = 0;
    const auto flushRepeats = [&] {
        if (repeats > 0)
            out() << "      (the same report " << repeats << (repeats == 1 ? " more time)\n" : " more times)\n");
        repeats = 0;
    };
    // The debug text of every report, and where each touch begins: a touch
    // is told by the contact frames the engine gets, which may gather the
    // contacts of several reports.
    int events = 0;
    TouchSummary summary;
    ScopedObserver reports, frames;
    if (trace) {
        reports = ScopedObserver(center, VTNotification::CompatibilityReport, [&](const Notification& n) {
            if (quiet)
                return;
            const QString text = n.userInfo.value(QStringLiteral("text")).toString();
            if (text == lastText) {
                ++repeats;
                return;
            }
            flushRepeats();
            lastText = text;
            out() << QString::number(scheduler->now(), 'f', 3) << " " << text << "\n";
        });
        frames = ScopedObserver(center, VTNotification::TouchFrame, [&](const Notification& n) {
            if (!summary.contacts(scheduler->now(), n.userInfo.value(QStringLiteral("contacts")).toList()) || quiet)
                return;
            flushRepeats();
            lastText.clear();
            out() << "== touch " << summary.touchCount() << " ==\n";
        });
        trace->setLineHandler([&](const QString& line) {
            ++events;
            summary.event(scheduler->now(), line);
            flushRepeats();
            lastText.clear();
            out() << "  -> " << line << "\n";
        });
    }

    const QRectF bounds = displays->displayBounds(displays->mainDisplay());
    out() << "Replaying " << QFileInfo(path).fileName() << ": \"" << recording->name << "\", " << reportCount
          << " reports over " << QString::number(duration, 'f', 2) << " s onto "
          << QStringLiteral("%1x%2+%3+%4").arg(bounds.width()).arg(bounds.height()).arg(bounds.x()).arg(bounds.y())
          << (dryRun ? " (dry run: events are printed, not posted)\n" : "\n");
    if (!settings.isEmpty()) {
        QStringList changed;
        for (const auto& [key, text] : settings)
            changed << key + QLatin1Char('=') + text;
        out() << "settings changed for this replay: " << changed.join(QStringLiteral(", ")) << "\n";
    }
    out().flush();

    VTError startError;
    if (!bridge.start(&startError)) {
        err() << "velotap replay: " << startError.description << " (" << bridge.decoderStatus() << ")\n";
        return 1;
    }
    out() << "decoder: " << bridge.decoderStatus() << "\n\n";

    // Time after the last report for releases and inertia to run out.
    constexpr double kSettleSeconds = 5.0;
    if (manual) {
        while (!source.finished() && manual->hasPending())
            manual->advanceTo(manual->nextDueTime());
        const double end = manual->now() + kSettleSeconds;
        while (manual->hasPending() && manual->nextDueTime() <= end)
            manual->advanceTo(manual->nextDueTime());
        flushRepeats();
        out() << "\n" << source.deliveredCount() << " reports, " << events << " events\n";
        const QStringList touches = summary.lines();
        if (!touches.isEmpty())
            out() << "\nTouches:\n  " << touches.join(QStringLiteral("\n  ")) << "\n";
        out().flush();
        return 0;
    }
    source.setFinishedHandler([&] { scheduler->schedule(kSettleSeconds, [] { QCoreApplication::exit(0); }); });
    const int status = QCoreApplication::exec();
    bridge.stop();
    // How well real time kept to the recording.
    const RecordingDeviceSource::Timing& timing = source.timing();
    out() << source.deliveredCount() << " reports replayed in " << QString::number(timing.elapsed, 'f', 3)
          << " s (recorded " << QString::number(duration, 'f', 3) << " s), at most "
          << QString::number(timing.maxLateness * 1000, 'f', 1) << " ms behind\n";
    out().flush();
    return status;
}

} // namespace cli
