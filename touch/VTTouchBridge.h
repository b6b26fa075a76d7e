#pragma once
#include "base/Scheduler.h"
#include "base/VTError.h"
#include "touch/HidDeviceSource.h"
#include "touch/ReportDecoder.h"
#include "touch/TouchFrameAssembler.h"
#include "touch/TouchTypes.h"

#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>

class DisplayServices;
class EventSink;
class NotificationCenter;
class SettingsStore;
class VTGestureEngine;

// The one object through which touch input enters: it chooses the touch
// display, reads its reports, decodes each one, announces it to whoever
// watches (debug window, indicators, compatibility tools) and hands the
// contacts to the gesture engine it owns. Main thread only.
class VTTouchBridge {
public:
    struct Environment {
        HidDeviceSource& devices;
        EventSink& sink;
        Scheduler& scheduler;
        SettingsStore& settings;
        const DisplayServices& displays;
        NotificationCenter& notifications;
        // The desktop's double-click time in seconds.
        double doubleClickInterval = 0.5;
        // "Accessibility": whether synthetic input can be posted; unset means yes.
        std::function<bool()> canPostEvents;
    };

    // The defaults key that turns off taking the kernel's input nodes of the
    // touch display away from the desktop while touch runs (true when unset).
    static const QString GrabKernelInputKey;

    explicit VTTouchBridge(const Environment& environment);
    ~VTTouchBridge();
    VTTouchBridge(const VTTouchBridge&) = delete;
    VTTouchBridge& operator=(const VTTouchBridge&) = delete;

    bool running() const { return m_stream != nullptr; }
    const QString& statusText() const { return _statusText; }
    const QString& decoderStatus() const { return _hidDecoderStatus; }
    const TouchLayout& layout() const { return m_decoder.layout(); }
    bool hybridModeObserved() const { return m_decoder.hybridModeObserved(); }
    // The device in use (empty node while stopped).
    const HidDeviceInfo& device() const { return m_device; }

    bool compatibilityTestMode() const;
    void setCompatibilityTestMode(bool mode);

    // Fills *error (when given) on failure.
    bool start(VTError* error = nullptr);
    void stop();
    void refreshDisplayMapping();

    // The per-report path: decode, announce, put the frame together, then
    // the gesture engine.
    void handleReport(const std::uint8_t* report, int length);
    // The last contact frame handed on (what "VTTouchFrameNotification" carried).
    const TouchContactList& lastFrame() const { return m_lastFrame; }
    // How long a frame spread over several reports waits for the rest.
    static constexpr double kFrameTimeout = 0.05;
    void postDebugReport(const std::uint8_t* report, int length, const TouchContactList& list);
    void postCompatibilityReport(const std::uint8_t* report, int length, const TouchContactList& list);
    QString debugTextForReport(const std::uint8_t* report, int length, const TouchContactList& list) const;

    VTGestureEngine& engine() { return *m_engine; }
    const VTGestureEngine& engine() const { return *m_engine; }

    // True after the device went away while running, or a start found no
    // device, until touch runs or is stopped: a matching device that appears
    // then starts touch.
    bool waitingForDevice() const { return m_waitingForDevice; }
    // Called when touch stopped or resumed on its own (the display went away
    // or came back), so whoever shows the state can follow.
    void setRunningChangedHandler(std::function<void()> handler) { m_runningChanged = std::move(handler); }

private:
    Environment m_env;
    std::unique_ptr<VTGestureEngine> m_engine;
    std::unique_ptr<HidInputStream> m_stream;
    HidDeviceInfo m_device;
    TouchReportDecoder m_decoder;
    TouchFrameAssembler m_assembler;
    TouchContactList m_lastFrame{};
    Scheduler::TimerId m_frameTimer = 0;
    QString _statusText;
    QString _hidDecoderStatus;
    bool m_waitingForDevice = false;
    std::function<void()> m_runningChanged;
    Scheduler::TimerId m_restartTimer = 0;
    HidDeviceSource::ObserverToken m_devicesObserver = 0;

    void clearDeviceState();
    void handFrameOn(const TouchContactList& frame);
    void frameTimedOut();
    // Lets go of every button and the device; the decoder has no layout after.
    void closeDevice();
    void stopWaitingForDevice();
    void handleDeviceRemoved();
    void devicesChanged();
    void scheduleRestart(double delay);
    // "Touch active", or that touches may act twice while the desktop keeps
    // one of the display's kernel input nodes.
    void showActiveStatus();
    bool fail(VTError* error, qint64 code, const QString& description, const QString& status);
    bool failWaitingForDevice(VTError* error, qint64 code, const QString& description);
};

// The report descriptor of the device in use as lower-case hex, and its
// summary; both empty while no device is in use.
const QString& lastDescriptorHex();
const QVariantMap& lastDescriptorSummary();
