#pragma once
#include "base/Scheduler.h"
#include "touch/HidDeviceSource.h"
#include "touch/HidRecording.h"

#include <functional>

// A recorded device played back as if it were plugged in: one device with
// the recording's name and descriptor whose reports arrive at their recorded
// times on the given scheduler, so a replay takes the device's own path
// through the bridge.
class RecordingDeviceSource final : public HidDeviceSource {
public:
    // A recording held in memory; every open plays it from its start.
    RecordingDeviceSource(HidRecording recording, Scheduler& scheduler);
    // A recording read from its file as it plays, so its length costs no
    // memory; it plays once.
    RecordingDeviceSource(std::unique_ptr<HidRecordingReader> reader, Scheduler& scheduler);

    const HidDeviceInfo& device() const { return m_device; }
    // Called once after the last report was delivered.
    void setFinishedHandler(std::function<void()> handler) { m_finished = std::move(handler); }
    int deliveredCount() const { return m_delivered; }
    bool finished() const { return m_isFinished; }

    // How closely the deliveries kept to the recording, in seconds.
    struct Timing {
        double elapsed = 0;     // from the first delivered report to the last
        double maxLateness = 0; // of any report behind its recorded time
    };
    const Timing& timing() const { return m_timing; }

    std::vector<HidDeviceInfo> devices() const override { return {m_device}; }
    bool canRead(const HidDeviceInfo&) const override { return true; }
    std::unique_ptr<HidInputStream> open(const HidDeviceInfo& device, const OpenOptions& options, ReportHandler onReport,
                                         RemovalHandler onRemoval, OpenFailure* failure = nullptr,
                                         int* errorCode = nullptr) override;

private:
    class Stream;

    RecordingDeviceSource(const QString& name, const QByteArray& descriptor, Scheduler& scheduler);
    bool nextReport(HidRecordedReport& report);

    HidRecording m_recording;
    std::unique_ptr<HidRecordingReader> m_reader;
    qsizetype m_nextIndex = 0;
    Scheduler& m_scheduler;
    HidDeviceInfo m_device;
    std::function<void()> m_finished;
    int m_delivered = 0;
    bool m_isFinished = false;
    Timing m_timing;
};
