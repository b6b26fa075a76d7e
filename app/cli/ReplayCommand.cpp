// `velotap replay`: a recording fed through the path a plugged-in display
// takes, in real time or, as a dry run, on a virtual clock with every event
// printed instead of posted.
#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/cli/SettingWrite.h"

#include "base/ManualScheduler.h"
#include "base/NotificationCenter.h"
#include "base/Notifications.h"
#include "base/QtScheduler.h"
#include "base/UserDefaults.h"
#include "gestures/TraceEventSink.h"
#include "platform/linux/EventSinkFactory.h"
#include "platform/linux/XRandrDisplayServices.h"
#include "settings/SettingsStore.h"
#include "touch/DeviceDiscovery.h"
#include "touch/DisplaySelection.h"
#include "touch/HidRecording.h"
#include "touch/RecordingDeviceSource.h"
#include "touch/VTTouchBridge.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace cli {
namespace {

const char* const kUsage =
    "usage: velotap replay FILE [--dry-run] [--display WxH+X+Y]... [--set KEY=VALUE]... [--events-only]\n";

// Monitors at fixed bounds: the dry run's desktop, or those --display names,
// the first of them the main one; "displaySelection" picks among them.
class FixedDisplayServices final : public DisplayServices {
public:
    explicit FixedDisplayServices(std::vector<QRectF> bounds) : m_bounds(std::move(bounds)) {}
    std::vector<DisplayID> activeDisplays() const override
    {
        std::vector<DisplayID> ids;
        for (std::size_t i = 0; i < m_bounds.size(); ++i)
            ids.push_back(DisplayID(i + 1));
        return ids;
    }
    DisplayID mainDisplay() const override { return 1; }
    QRectF displayBounds(DisplayID id) const override { return id >= 1 && id <= m_bounds.size() ? m_bounds[id - 1] : QRectF(); }
    QSize displayPixelSize(DisplayID id) const override { return displayBounds(id).size().toSize(); }

private:
    std::vector<QRectF> m_bounds;
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
            m_touches.emplace_back().start = time;
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
        // Counted, not kept: a long recording has millions of events.
        Touch& touch = m_touches.back();
        ++touch.events;
        for (int k = 0; k < KindCount; ++k)
            touch.counts[k] += line.contains(QLatin1String(kKinds[k])) ? 1 : 0;
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
    // The events a gesture is told by, in the order they decide it.
    enum Kind { Magnify, Wheel, RightDown, OtherDown, LeftDragged, DoubleClick, LeftDown, KindCount };
    static constexpr const char* kKinds[KindCount] = {"magnify", "scroll wheel", "right-down", "other-down",
                                                      "left-dragged", "click=2", "left-down"};
    struct Touch {
        double start = 0;
        double lift = -1;
        int mostContacts = 0;
        QString kind;
        qint64 events = 0;
        qint64 counts[KindCount]{};
        qint64 coasting = 0;
    };
    std::vector<Touch> m_touches;
    int m_previousCount = 0;

    static QString gesture(const Touch& touch)
    {
        const auto count = [&](Kind kind) { return touch.counts[kind]; };
        if (const auto magnify = count(Magnify))
            return QStringLiteral("pinch: %1 magnify events").arg(magnify);
        if (const auto wheels = count(Wheel)) {
            QString text = QStringLiteral("scroll: %1 wheel events").arg(wheels - touch.coasting);
            if (touch.coasting > 0)
                text += QStringLiteral(", then %1 more coasting with inertia").arg(touch.coasting);
            return text;
        }
        if (count(RightDown))
            return QStringLiteral("right click");
        if (count(OtherDown))
            return QStringLiteral("middle click");
        if (const auto drags = count(LeftDragged))
            return QStringLiteral("drag: %1 moves with the left button down").arg(drags);
        if (count(DoubleClick))
            return QStringLiteral("double click");
        if (count(LeftDown))
            return QStringLiteral("click");
        if (touch.events == 0)
            return QStringLiteral("no event");
        return touch.events == 1 ? QStringLiteral("1 event") : QStringLiteral("%1 events").arg(touch.events);
    }
};

struct ReplayOptions {
    QString path;
    bool dryRun = false;
    bool quiet = false;
    std::vector<QRectF> displays;
    QList<QPair<QString, QString>> settings;
};

std::optional<ReplayOptions> parseOptions(const QStringList& args)
{
    ReplayOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--dry-run")) {
            options.dryRun = true;
        } else if (a == QLatin1String("--events-only")) {
            options.quiet = true;
        } else if (a == QLatin1String("--display") && i + 1 < args.size()) {
            const std::optional<QRectF> display = parseGeometry(args[++i]);
            if (!display) {
                err() << "velotap replay: --display wants WxH+X+Y, e.g. 1920x1080+0+0\n";
                return std::nullopt;
            }
            options.displays.push_back(*display);
        } else if (a == QLatin1String("--set") && i + 1 < args.size()) {
            const QString setting = args[++i];
            const qsizetype eq = setting.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                err() << "velotap replay: --set wants KEY=VALUE\n";
                return std::nullopt;
            }
            options.settings.append({setting.left(eq), setting.mid(eq + 1)});
        } else if (!a.startsWith(QLatin1Char('-')) && options.path.isEmpty()) {
            options.path = a;
        } else {
            err() << kUsage;
            return std::nullopt;
        }
    }
    if (options.path.isEmpty()) {
        err() << kUsage;
        return std::nullopt;
    }
    return options;
}

// A first read of the whole recording, keeping nothing but what the
// replay announces: every line is checked before anything plays.
struct RecordingOutline {
    QString name;
    qint64 reports = 0;
    double duration = 0;
    bool lastLineCut = false;
};

std::optional<RecordingOutline> outlineOf(const QString& path, QString* error)
{
    std::unique_ptr<HidRecordingReader> reader = HidRecordingReader::open(path, error);
    if (!reader)
        return std::nullopt;
    RecordingOutline outline;
    outline.name = reader->name();
    HidRecordedReport report;
    double first = 0;
    while (reader->next(report)) {
        if (outline.reports++ == 0)
            first = report.timestamp;
        outline.duration = report.timestamp - first;
    }
    if (!reader->error().isEmpty()) {
        *error = reader->error();
        return std::nullopt;
    }
    outline.lastLineCut = reader->lastLineCut();
    return outline;
}

} // namespace

int replay(const QStringList& args)
{
    const std::optional<ReplayOptions> options = parseOptions(args);
    if (!options)
        return 2;
    const bool dryRun = options->dryRun;
    const QString& path = options->path;

    QString error;
    const std::optional<RecordingOutline> outline = outlineOf(path, &error);
    std::unique_ptr<HidRecordingReader> reader = outline ? HidRecordingReader::open(path, &error) : nullptr;
    if (!reader) {
        err() << "velotap replay: " << printable(path) << ": " << printable(error) << "\n";
        return 2;
    }

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
    for (const auto& [key, text] : options->settings) {
        const SettingWrite written = writeSetting(store, key, text);
        if (written.status != 0) {
            err() << "velotap replay: --set " << printable(key) << ": " << written.message << "\n";
            return 2;
        }
    }

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
    if (!options->displays.empty() || dryRun) {
        displays = std::make_unique<FixedDisplayServices>(
            options->displays.empty() ? std::vector<QRectF>{QRectF(0, 0, 1920, 1080)} : options->displays);
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

    RecordingDeviceSource source(std::move(reader), *scheduler);
    store.setSettingValue(SettingsKey::DeviceSelection, deviceSignature(source.device()));

    // What the dry run prints; all of it outlives the bridge, which may post
    // events as it stops.
    QString lastText;
    int repeats = 0;
    const auto flushRepeats = [&] {
        if (repeats > 0)
            out() << "      (the same report " << repeats << (repeats == 1 ? " more time)\n" : " more times)\n");
        repeats = 0;
    };
    int events = 0;
    TouchSummary summary;
    ScopedObserver reports, frames, keyboard;
    VTTouchBridge bridge({source, *sink, *scheduler, store, *displays, center, 0.5, {}});

    // The debug text of every report, and where each touch begins: a touch
    // is told by the contact frames the engine gets, which may gather the
    // contacts of several reports.
    if (trace) {
        reports = ScopedObserver(center, VTNotification::CompatibilityReport, [&](const Notification& n) {
            if (options->quiet)
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
            if (!summary.contacts(scheduler->now(), n.userInfo.value(QStringLiteral("contacts")).toList()) || options->quiet)
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
        // Showing the touch keyboard is no input event, but the replay tells of it.
        keyboard = ScopedObserver(center, VTNotification::TouchKeyboardShow,
                                  [&](const Notification&) { trace->note(QStringLiteral("keyboard show")); });
    }

    const QRectF bounds = displays->displayBounds(DisplaySelection::selectedDisplayID(*displays, store.displaySelection()));
    out() << "Replaying " << printable(QFileInfo(path).fileName()) << ": \"" << printable(outline->name) << "\", "
          << outline->reports << " reports over " << QString::number(outline->duration, 'f', 2) << " s onto "
          << QStringLiteral("%1x%2+%3+%4").arg(bounds.width()).arg(bounds.height()).arg(bounds.x()).arg(bounds.y())
          << (dryRun ? " (dry run: events are printed, not posted)\n" : "\n");
    if (!options->settings.isEmpty()) {
        QStringList changed;
        for (const auto& [key, text] : options->settings)
            changed << printable(key + QLatin1Char('=') + text);
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
    int status = 0;
    if (manual) {
        while (!source.finished() && manual->hasPending())
            manual->advanceTo(manual->nextDueTime());
        const double end = manual->now() + kSettleSeconds;
        while (manual->hasPending() && manual->nextDueTime() <= end)
            manual->advanceTo(manual->nextDueTime());
    } else {
        source.setFinishedHandler([&] { scheduler->schedule(kSettleSeconds, [] { QCoreApplication::exit(0); }); });
        status = QCoreApplication::exec();
    }
    // A recording that ends with a finger down leaves nothing pressed: the
    // releases are part of what the replay did.
    bridge.stop();
    flushRepeats();

    if (outline->lastLineCut)
        err() << "velotap replay: the last line of " << printable(QFileInfo(path).fileName())
              << " is cut off; the complete reports before it were replayed\n";
    if (manual) {
        out() << "\n" << source.deliveredCount() << " reports, " << events << " events\n";
        const QStringList touches = summary.lines();
        if (!touches.isEmpty())
            out() << "\nTouches:\n  " << touches.join(QStringLiteral("\n  ")) << "\n";
    } else {
        // How well real time kept to the recording.
        const RecordingDeviceSource::Timing& timing = source.timing();
        out() << source.deliveredCount() << " reports replayed in " << QString::number(timing.elapsed, 'f', 3)
              << " s (recorded " << QString::number(outline->duration, 'f', 3) << " s), at most "
              << QString::number(timing.maxLateness * 1000, 'f', 1) << " ms behind\n";
    }
    out().flush();
    return status;
}

} // namespace cli
