#include "touch/RecordingDeviceSource.h"

#include <algorithm>
#include <memory>

class RecordingDeviceSource::Stream final : public HidInputStream {
public:
    Stream(RecordingDeviceSource& source, ReportHandler onReport) : m_source(source), m_onReport(std::move(onReport))
    {
        scheduleNext();
    }
    ~Stream() override
    {
        *m_alive = false;
        m_source.m_scheduler.cancel(m_timer);
    }

private:
    RecordingDeviceSource& m_source;
    ReportHandler m_onReport;
    Scheduler::TimerId m_timer = 0;
    HidRecordedReport m_report; // the next to deliver
    bool m_started = false;
    double m_firstTimestamp = 0;
    double m_start = 0; // scheduler time of the first report
    double m_due = 0;   // of the next report
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    void scheduleNext()
    {
        if (!m_source.nextReport(m_report)) {
            m_source.m_isFinished = true;
            if (m_source.m_finished)
                m_source.m_finished();
            return;
        }
        // Each report is due at its recorded time from the start, so time
        // spent handling one report, or a late timer, never adds up over the
        // replay. A clock that stepped back in the recording plays at once.
        if (!m_started) {
            m_started = true;
            m_firstTimestamp = m_report.timestamp;
            m_start = m_due = m_source.m_scheduler.now();
        } else {
            m_due = std::max(m_due, m_start + (m_report.timestamp - m_firstTimestamp));
        }
        m_timer = m_source.m_scheduler.schedule(m_due - m_source.m_scheduler.now(), [this] { deliver(); });
    }

    void deliver()
    {
        m_timer = 0;
        const double now = m_source.m_scheduler.now();
        m_source.m_timing.maxLateness = std::max(m_source.m_timing.maxLateness, now - m_due);
        m_source.m_timing.elapsed = now - m_start;
        ++m_source.m_delivered;
        // The handler may end this stream (touch stopped); nothing of it is touched then.
        const std::shared_ptr<bool> alive = m_alive;
        m_onReport(reinterpret_cast<const std::uint8_t*>(m_report.bytes.constData()), int(m_report.bytes.size()));
        if (*alive)
            scheduleNext();
    }
};

RecordingDeviceSource::RecordingDeviceSource(const QString& name, const QByteArray& descriptor, Scheduler& scheduler)
    : m_scheduler(scheduler)
{
    m_device.node = QStringLiteral("recording");
    m_device.properties = {
        {HidProperty::VendorID, qint64(0)},
        {HidProperty::ProductID, qint64(0)},
        {HidProperty::LocationID, qint64(0)},
        {HidProperty::Product, name},
        {HidProperty::Transport, QStringLiteral("Recording")},
        {HidProperty::ReportDescriptor, descriptor},
    };
}

RecordingDeviceSource::RecordingDeviceSource(HidRecording recording, Scheduler& scheduler)
    : RecordingDeviceSource(recording.name, recording.descriptor, scheduler)
{
    m_recording = std::move(recording);
}

RecordingDeviceSource::RecordingDeviceSource(std::unique_ptr<HidRecordingReader> reader, Scheduler& scheduler)
    : RecordingDeviceSource(reader->name(), reader->descriptor(), scheduler)
{
    m_reader = std::move(reader);
}

bool RecordingDeviceSource::nextReport(HidRecordedReport& report)
{
    if (m_reader)
        return m_reader->next(report);
    if (m_nextIndex >= m_recording.reports.size())
        return false;
    report = m_recording.reports[m_nextIndex++];
    return true;
}

std::unique_ptr<HidInputStream> RecordingDeviceSource::open(const HidDeviceInfo&, const OpenOptions&,
                                                            ReportHandler onReport, RemovalHandler, OpenFailure* failure,
                                                            int*)
{
    if (failure)
        *failure = OpenFailure::None;
    m_delivered = 0;
    m_nextIndex = 0;
    m_isFinished = false;
    m_timing = {};
    return std::make_unique<Stream>(*this, std::move(onReport));
}
