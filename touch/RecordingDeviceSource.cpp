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
    qsizetype m_next = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    void scheduleNext()
    {
        const auto& reports = m_source.m_recording.reports;
        if (m_next >= reports.size()) {
            m_source.m_isFinished = true;
            if (m_source.m_finished)
                m_source.m_finished();
            return;
        }
        // Recorded spacing; a clock that stepped back plays at once.
        const double delay = m_next == 0 ? 0.0 : std::max(0.0, reports[m_next].timestamp - reports[m_next - 1].timestamp);
        m_timer = m_source.m_scheduler.schedule(delay, [this] { deliver(); });
    }

    void deliver()
    {
        m_timer = 0;
        const QByteArray& bytes = m_source.m_recording.reports[m_next++].bytes;
        ++m_source.m_delivered;
        // The handler may end this stream (touch stopped); nothing of it is touched then.
        const std::shared_ptr<bool> alive = m_alive;
        m_onReport(reinterpret_cast<const std::uint8_t*>(bytes.constData()), int(bytes.size()));
        if (*alive)
            scheduleNext();
    }
};

RecordingDeviceSource::RecordingDeviceSource(HidRecording recording, Scheduler& scheduler)
    : m_recording(std::move(recording)), m_scheduler(scheduler)
{
    m_device.node = QStringLiteral("recording");
    m_device.properties = {
        {HidProperty::VendorID, qint64(0)},
        {HidProperty::ProductID, qint64(0)},
        {HidProperty::LocationID, qint64(0)},
        {HidProperty::Product, m_recording.name},
        {HidProperty::Transport, QStringLiteral("Recording")},
        {HidProperty::ReportDescriptor, m_recording.descriptor},
    };
}

std::unique_ptr<HidInputStream> RecordingDeviceSource::open(const HidDeviceInfo&, const OpenOptions&,
                                                            ReportHandler onReport, RemovalHandler, OpenFailure* failure,
                                                            int*)
{
    if (failure)
        *failure = OpenFailure::None;
    m_delivered = 0;
    m_isFinished = false;
    return std::make_unique<Stream>(*this, std::move(onReport));
}
